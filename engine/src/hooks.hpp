// hooks.hpp - the engine's internal dispatchers in front of the six hooks.
//
// The rest of the engine reaches the application only through these. C++
// reserves names that begin with an underscore and a capital letter, so the
// dispatchers live in namespace `dispatch` without the leading underscore.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vantorelle::dispatch {

// Formats by printf rules into 511 bytes (longer texts are cut) and calls the
// message hook. Returns 1 without formatting when no hook is registered.
int MsgCallback(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// The two-argument form; nothing in the engine uses it.
int DisplayError(int level, const char* text);

// How many messages at level 0 or 1 have been sent (to a hook or not): a
// part that raised the count was damaged.
std::uint64_t ProblemsReported();

// Formats the text and calls the busy hook with (type, state, text, percent).
// Returns 1 without formatting when no hook is registered. Here and in the
// polls, a nonzero result of the hook is a stop request (uuRequestStop).
int BusyCallback(int type, int state, int percent, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// Throttled keep-alive: reaches the busy hook with (0, 0, "", percent) on the
// first poll and then only when more than busy_msecs have passed (in
// milliseconds; in whole seconds with a test clock). While a part is decoded
// `percent` is how far through the part the decoder has read, otherwise 0.
int BusyPoll(int percent = 0);

// As many polls as `lines`, all at this instant: with the standard clock and a
// positive interval only the first of them can reach the hook, so one clock
// reading does; otherwise they are made one by one.
int BusyPollLines(std::size_t lines);

// The directory hook with the record's name and writable subject text; 0 when
// none is registered.
int DirectoryCallback(const std::string& dest_name, std::string& subject);

// The output path for dest_name: the filter's result, or dest_name itself.
std::string FNameFilter(std::string& dest_name);

// Hands a finished input file to the removal hook unless it is the path handed
// over last. Returns the hook's result, or 0 when the hook was not called.
int InputRemoveCallback(const std::string& path);

// Calls the post-process hook when one is registered.
void PostProcessOutput(const std::string& path);

// While one lives on a thread, that thread decodes ahead of its turn, away
// from the hooks: its messages, busy calls and polls reach none and count
// nothing, and the positions of its decoding polls are kept in `polls`.
class AheadOfTurn {
 public:
  explicit AheadOfTurn(std::vector<std::uint64_t>& polls);
  ~AheadOfTurn();
  AheadOfTurn(const AheadOfTurn&) = delete;
  AheadOfTurn& operator=(const AheadOfTurn&) = delete;

  // The polls of this thread's decoding ahead, or none when it is not.
  static std::vector<std::uint64_t>* polls();
};

// Whether a busy hook is registered (the scanner skips polling otherwise).
bool HasBusyHook();

// The wall clock in whole seconds; tests replace it. An empty function restores
// the standard clock.
using Clock = std::function<std::time_t()>;
void SetClockForTesting(Clock clock);

// Forgets last_secs, last_remove and a stop request, for tests that need a fresh process.
void ResetStateForTesting();

}  // namespace vantorelle::dispatch
