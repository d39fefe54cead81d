// run_state.cpp - the process-wide run state.
#include "run_state.hpp"

namespace vantorelle::app {

RunState& run_state() {
  static RunState state;
  return state;
}

}  // namespace vantorelle::app
