// run_stop.cpp - the stop of a run: hits of the progress window, the question, queued quit requests.
#include "run_stop.hpp"

#include <cstdio>

#include "progress_window.hpp"
#include "vantorelle/toolbox/dialog_items.hpp"

namespace vantorelle::app {
namespace {

using toolbox::DialogItemIndex;
using toolbox::DialogRef;
using toolbox::Toolbox;

struct StopState {
  bool stopped = false;
  bool for_quit = false;
  bool quit_queued_before = false;  // comes after this run in the queue's order
  std::string output;               // being written
};

StopState& Stopping() {
  static StopState instance;
  return instance;
}

// Asks whether to give up the output being written; true for "Stop".
bool ConfirmStop(Toolbox& tb, const std::string& output) {
  const DialogRef alert = tb.GetNewDialog(toolbox::kAlertDialogID);
  if (!alert) return true;
  char text[toolbox::kMaxItemText + 1];
  std::snprintf(text, sizeof text, kStopQuestionFormat.data(), std::string(DisplayName(output)).c_str());
  toolbox::SetCText(tb, alert, kAlertTextItem, FitItemText(text));
  toolbox::SetCText(tb, alert, kAlertQuitItem, kStopButtonText);
  tb.ShowWindow(alert);
  tb.SetPort(alert);
  DialogItemIndex item = 0;
  while (item != kAlertContinueItem && item != kAlertQuitItem) {
    item = tb.ModalDialog(alert);
    if (item <= 0) break;  // the window is gone: go on decoding
  }
  tb.DisposeDialog(alert);
  return item == kAlertQuitItem;
}

}  // namespace

void ResetStop() { Stopping() = StopState{}; }

void ResetStop(toolbox::Toolbox& tb) {
  ResetStop();
  Stopping().quit_queued_before = tb.QuitRequestQueued();
}

void NoteOutputInProgress(std::string_view path) { Stopping().output = path; }

bool StopWanted(Toolbox& tb, DialogRef progress) {
  StopState& s = Stopping();
  if (s.stopped) return true;
  if (!s.quit_queued_before && tb.QuitRequestQueued()) {
    s.stopped = s.for_quit = true;
    return true;
  }
  if (!progress || tb.TakeDialogHit(progress) != kProgressStopItem) return false;
  s.stopped = s.output.empty() || ConfirmStop(tb, s.output);
  return s.stopped;
}

bool RunStopped() { return Stopping().stopped; }
bool StoppedForQuit() { return Stopping().for_quit; }

}  // namespace vantorelle::app
