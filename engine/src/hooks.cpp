// hooks.cpp - hook registry, registration functions and dispatchers.
#include "hooks.hpp"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#if defined(__linux__)
#include <time.h>
#endif

#include "held_calls.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

// Process-wide registry; empty slots make the engine skip the step.
struct Registry {
  MsgHook msg;
  BusyHook busy;
  DirectoryHook directory;
  FNameFilterHook fname_filter;
  InputRemoveHook input_remove;
  PostProcessHook post_process;
  std::int32_t busy_msecs = 10;
  std::time_t last_secs = 0;    // when a poll last reached the hook; 0 = never
  // The same with the standard clock, which counts milliseconds.
  bool polled = false;
  std::chrono::steady_clock::time_point last_poll;
  std::string last_remove;      // the path handed to the removal hook last
  std::uint64_t problems = 0;   // messages at level 0 or 1 so far
  dispatch::Clock clock;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

std::time_t now_seconds() {
  auto& r = registry();
  return r.clock ? r.clock() : std::time(nullptr);
}

}  // namespace

int uuInitialize() { return 0; }

int uuSetMsgCallback(MsgHook hook) {
  registry().msg = std::move(hook);
  return 0;
}

int uuSetBusyCallback(BusyHook hook, int interval_ms) {
  registry().busy = std::move(hook);
  registry().busy_msecs = interval_ms;
  return 0;
}

void uuSetDirectoryCallback(DirectoryHook hook) { registry().directory = std::move(hook); }

void uuSetFNameFilter(FNameFilterHook hook) { registry().fname_filter = std::move(hook); }

int uuSetInputRemoveCallback(InputRemoveHook hook) {
  registry().input_remove = std::move(hook);
  return 1;
}

int uuSetPostProcessOutputCallback(PostProcessHook hook) {
  registry().post_process = std::move(hook);
  return 1;
}

namespace dispatch {

namespace {

std::string_view formatted(char (&buffer)[kMaxMessageLength + 1], const char* format, va_list args) {
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  return {buffer, n < 0 ? 0 : std::min<std::size_t>(n, kMaxMessageLength)};
}

int deliver_message(int level, std::string_view text) {
  if (level == kLevelError || level == kLevelWarning) ++registry().problems;
  auto& hook = registry().msg;
  return hook ? hook(level, text) : 1;
}

int deliver_busy(int type, int state, std::string_view text, int percent) {
  const int result = registry().busy(type, state, text, percent);
  if (result != 0) uuRequestStop();
  return result;
}

// The polls of this thread's decoding ahead, while it decodes ahead.
thread_local std::vector<std::uint64_t>* g_ahead_polls = nullptr;

}  // namespace

AheadOfTurn::AheadOfTurn(std::vector<std::uint64_t>& polls) { g_ahead_polls = &polls; }
AheadOfTurn::~AheadOfTurn() { g_ahead_polls = nullptr; }
std::vector<std::uint64_t>* AheadOfTurn::polls() { return g_ahead_polls; }

int MsgCallback(int level, const char* format, ...) {
  if (g_ahead_polls != nullptr) return 1;
  HeldCalls* held = HeldCalls::active();
  if (!held && !registry().msg) return deliver_message(level, {});
  char buffer[kMaxMessageLength + 1];
  va_list args;
  va_start(args, format);
  const std::string_view text = formatted(buffer, format, args);
  va_end(args);
  if (!held) return deliver_message(level, text);
  held->keep([level, text = std::string(text)] { return deliver_message(level, text); }, false);
  return 1;
}

std::uint64_t ProblemsReported() { return registry().problems; }

int DisplayError(int level, const char* text) { return MsgCallback(level, "%s", text); }

int BusyCallback(int type, int state, int percent, const char* format, ...) {
  if (!registry().busy || g_ahead_polls != nullptr) return 1;
  char buffer[kMaxMessageLength + 1];
  va_list args;
  va_start(args, format);
  const std::string_view text = formatted(buffer, format, args);
  va_end(args);
  HeldCalls* held = HeldCalls::active();
  if (!held) return deliver_busy(type, state, text, percent);
  held->keep([=, text = std::string(text)] { return deliver_busy(type, state, text, percent); }, true);
  return 0;
}

bool HasBusyHook() { return static_cast<bool>(registry().busy); }

namespace {

using PollClock = std::chrono::steady_clock;

// The time for polls. A scan polls every few lines, and the precise clock
// costs several times what the coarse one does; where the coarse one ticks
// at least twice per interval it serves (both count from the same start).
PollClock::time_point poll_time(std::int32_t interval_ms) {
#if defined(__linux__) && defined(CLOCK_MONOTONIC_COARSE)
  static const std::int64_t coarse_tick_ns = [] {
    timespec res{};
    return clock_getres(CLOCK_MONOTONIC_COARSE, &res) == 0 && res.tv_sec == 0 ? res.tv_nsec : -1;
  }();
  timespec now{};
  if (coarse_tick_ns > 0 && 2 * coarse_tick_ns <= std::int64_t{interval_ms} * 1000000 &&
      clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0) {
    return PollClock::time_point(std::chrono::duration_cast<PollClock::duration>(
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
  }
#endif
  return PollClock::now();
}

// Whether a poll may reach the hook now; notes the time when it may.
bool PollDue(Registry& r) {
  if (r.clock) {
    // A test clock counts whole seconds, so with a positive interval a poll
    // gets through at most once per second.
    const std::time_t now = now_seconds();
    const std::int64_t elapsed =
        r.busy_msecs <= 0 ? 1 : 1000 * static_cast<std::int64_t>(now - r.last_secs);
    if (r.last_secs != 0 && elapsed <= r.busy_msecs) return false;
    r.last_secs = now;
    return true;
  }
  // The standard clock counts milliseconds: inside one long part, or a long
  // scan, the hook is still reached every interval, which keeps a progress
  // window painted and answering. Polls carry no message and change no result.
  const auto now = poll_time(r.busy_msecs);
  if (r.polled && r.busy_msecs > 0 && now - r.last_poll <= std::chrono::milliseconds(r.busy_msecs)) return false;
  r.polled = true;
  r.last_poll = now;
  return true;
}

}  // namespace

int BusyPoll(int percent) {
  auto& r = registry();
  if (g_ahead_polls != nullptr || !r.busy || !PollDue(r)) return 0;
  // The clock is read now all the same, so polls fall due as with one thread.
  if (HeldCalls* held = HeldCalls::active()) {
    held->keep([percent] { return deliver_busy(kBusyPoll, 0, {}, percent); }, true);
    return 0;
  }
  return deliver_busy(kBusyPoll, 0, {}, percent);
}

int BusyPollLines(std::size_t lines) {
  auto& r = registry();
  if (g_ahead_polls != nullptr || !r.busy || lines == 0) return 0;
  if (r.clock || r.busy_msecs <= 0) {
    int result = 0;
    for (std::size_t i = 0; i < lines; ++i) result = BusyPoll();
    return result;
  }
  return BusyPoll();
}

int DirectoryCallback(const std::string& dest_name, std::string& subject) {
  auto& hook = registry().directory;
  return hook ? hook(dest_name, subject) : 0;
}

std::string FNameFilter(std::string& dest_name) {
  auto& hook = registry().fname_filter;
  if (!hook) return dest_name;
  std::string path = hook(dest_name);
  if (dest_name.size() > kMaxNameLength) dest_name.resize(kMaxNameLength);
  return path;
}

int InputRemoveCallback(const std::string& path) {
  auto& r = registry();
  if (!r.input_remove) return 0;
  if (path == r.last_remove) return 0;
  r.last_remove = path;
  return r.input_remove(path);
}

void PostProcessOutput(const std::string& path) {
  auto& hook = registry().post_process;
  if (hook) hook(path);
}

void SetClockForTesting(Clock clock) { registry().clock = std::move(clock); }

void ResetStateForTesting() {
  registry().last_secs = 0;
  registry().polled = false;
  registry().last_remove.clear();
  uuClearStop();
}

}  // namespace dispatch
}  // namespace vantorelle
