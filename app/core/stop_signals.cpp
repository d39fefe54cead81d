// stop_signals.cpp - SIGINT, SIGTERM and SIGHUP stop a command-line run cleanly.
#include "stop_signals.hpp"

#include <array>
#include <csignal>

#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};
std::array<struct sigaction, kStopSignals.size()> g_previous{};
volatile std::sig_atomic_t g_caught = 0;

// Only async-signal-safe work: a store and the engine's atomic flag.
void OnStopSignal(int signal) {
  g_caught = signal;
  uuRequestStop();
}

}  // namespace

void StopRunOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;  // the second signal takes its default course
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &action, &g_previous[i]);
}

int StopSignal() { return g_caught; }

void RestoreSignals() {
  for (std::size_t i = 0; i < kStopSignals.size(); ++i) ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
  g_caught = 0;
}

}  // namespace vantorelle::app
