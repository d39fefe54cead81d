// run_state.cpp - the process-wide run state.
#include "run_state.hpp"

namespace vantorelle::app {

RunState& run_state() {
  static RunState state;
  return state;
}

void Say(int level, std::string_view text) {
  const RunState& state = run_state();
  if (state.say) state.say(level, text);
}

}  // namespace vantorelle::app
