// stop_signals.hpp - SIGINT, SIGTERM and SIGHUP stop a command-line run cleanly.
//
// Killed in the middle of an output, a run would leave its temporary file for
// the next run to name; stopped, it removes it and hands no input over.
#pragma once

namespace vantorelle::app {

// From now on the first of these signals asks the engine to stop at its next
// poll; a second one ends the process at once, as without this.
void StopRunOnSignals();

// The signal that asked for the stop; 0 for none.
int StopSignal();

// Puts the signals' previous handling back and forgets the one caught.
void RestoreSignals();

}  // namespace vantorelle::app
