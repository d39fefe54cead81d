// run_control.cpp - the stop request of a run and the position that decoding polls carry.
#include "run_control.hpp"

#include <algorithm>
#include <atomic>

#include "hooks.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

// Atomic so that a signal handler or another thread may ask for a stop.
std::atomic<bool> g_stop{false};

struct PartSpan {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};
PartSpan g_span;

constexpr int kWholePart = 100;

int PercentRead(std::uint64_t position) {
  if (g_span.end <= g_span.start || position <= g_span.start) return 0;
  const std::uint64_t done = std::min(position, g_span.end) - g_span.start;
  return static_cast<int>(done * kWholePart / (g_span.end - g_span.start));
}

}  // namespace

void uuRequestStop() { g_stop.store(true); }
void uuClearStop() { g_stop.store(false); }
bool uuStopRequested() { return g_stop.load(); }

namespace dispatch {

void SetPartSpan(std::uint64_t start, std::uint64_t end) { g_span = {start, end}; }

bool PollDecoding(std::uint64_t position) {
  if (std::vector<std::uint64_t>* polls = AheadOfTurn::polls()) {
    polls->push_back(position);
    return uuStopRequested();
  }
  BusyPoll(PercentRead(position));
  return uuStopRequested();
}

}  // namespace dispatch
}  // namespace vantorelle
