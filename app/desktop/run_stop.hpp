// run_stop.hpp - whether the run in progress should end: the progress window's Stop, Escape, closing, or a quit.
#pragma once

#include <string>
#include <string_view>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// Text of the question asked before a half-written output is given up.
inline constexpr std::string_view kStopQuestionFormat =
    "Stop decoding? '%s' is only partly written and will be removed; the files finished so far stay.";
inline constexpr std::string_view kStopButtonText = "Stop";

// Forgets the last run's stop, as a run starts. A quit request queued
// already then is left for the event loop after the run, as its order says.
void ResetStop();
void ResetStop(toolbox::Toolbox& tb);
// The output being written now (empty between outputs), for the question.
void NoteOutputInProgress(std::string_view path);

// Whether the run should end now; once true it stays true for the run. A hit
// of the progress window's Stop item (its Escape and close button too) stops
// it, after a question when an output is half written; a quit request
// that arrived during the run stops it without one, the quit then being
// carried out by the event loop.
bool StopWanted(toolbox::Toolbox& tb, toolbox::DialogRef progress);

// Whether the run was stopped, and whether by a quit request.
bool RunStopped();
bool StoppedForQuit();

}  // namespace vantorelle::app
