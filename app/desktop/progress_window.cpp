// progress_window.cpp - OpenProgress, CloseProgress, the message and busy hooks, the alert and the about box.
#include "progress_window.hpp"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "preferences.hpp"
#include "results_view.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "run_stop.hpp"
#include "vantorelle/common/utf8_cut.hpp"
#include "vantorelle/toolbox/dialog_items.hpp"
#include "vantorelle/version.hpp"

namespace vantorelle::app {

toolbox::DialogRef progPtr;

namespace {

using toolbox::DialogItemIndex;
using toolbox::DialogRef;
using toolbox::Toolbox;

constexpr std::string_view kEllipsis = "…";
// Events taken when the progress window opens, so it draws before the run.
constexpr int kOpeningEvents = 3;
// What those takes may remove: Apple events stay queued for the event loop,
// or a quit, or files handed over by another launch, would be lost.
constexpr toolbox::EventMask kOpeningMask = toolbox::everyEvent & ~toolbox::highLevelEventMask;
// Room of a formatted message: 255 characters and the terminating NUL.
constexpr std::size_t kMessageBuffer = 256;

void FlushWindow(Toolbox& tb, DialogRef dialog) { tb.QDFlushPortBuffer(dialog); }

// What the window shows of the run in progress besides its items.
struct ProgressRun {
  std::chrono::steady_clock::time_point started;
  int reported = 0;    // errors and warnings in the message list
  int part_start = 0;  // the bar's percent where the part being decoded starts
  int part_end = 0;    // and where it ends
  int launcher = -1;   // the percent the launcher entry shows; -1 hidden
};

ProgressRun& CurrentProgress() {
  static ProgressRun instance;
  return instance;
}

void ShowBar(Toolbox& tb, int percent) {
  const auto value = static_cast<std::int16_t>(static_cast<std::uint16_t>(percent & 0xFFFF));
  toolbox::SetItemValue(tb, progPtr, kProgressBarItem, value);
  ProgressRun& run = CurrentProgress();
  if (percent >= 0 && percent <= 100 && percent != run.launcher) {
    run.launcher = percent;
    tb.SetLauncherProgress(percent);
  }
}

// The bar inside a part: from its start towards its end by the share read.
void ShowPartRead(Toolbox& tb, int percent_read) {
  const ProgressRun& run = CurrentProgress();
  if (percent_read <= 0 || run.part_end <= run.part_start) return;
  ShowBar(tb, run.part_start + (run.part_end - run.part_start) * std::min(percent_read, 100) / 100);
}

void ListMessage(Toolbox& tb, int level, std::string_view text) {
  if (!progPtr || (level != kLevelError && level != kLevelWarning)) return;
  tb.AddListRow(progPtr, kProgressListItem, {std::string(LevelName(level)), FitItemText(text)});
  ++CurrentProgress().reported;
}

bool AnyOutputNotGood(const RunResults& results) {
  for (const OutputResult& output : results.outputs) {
    if (!IsExact(output)) return true;
  }
  return false;
}

void AnnounceLongRun(Toolbox& tb, const RunResults& results) {
  const auto took = std::chrono::steady_clock::now() - CurrentProgress().started;
  if (took <= std::chrono::seconds(kNotifyAfterSeconds) || tb.ApplicationActive()) return;
  std::size_t good = 0;
  for (const OutputResult& output : results.outputs) good += IsExact(output) ? 1 : 0;
  const std::string body = std::string(results.stopped ? "Decoding stopped: " : "Decoding finished: ") +
                           std::to_string(good) + " of " + std::to_string(results.outputs.size()) + " files good";
  tb.NotifyUser(kProgressTitle, body);
}

// The modal alert with continue and quit; quit ends the process.
void ShowAlert(Toolbox& tb, std::string_view text) {
  tb.InitCursor();
  const DialogRef alert = tb.GetNewDialog(toolbox::kAlertDialogID);
  if (!alert) return;
  tb.ShowWindow(alert);
  tb.SetPort(alert);
  tb.SysBeep(1);
  toolbox::SetCText(tb, alert, kAlertTextItem, FitItemText(text));
  DialogItemIndex item = 0;
  while (item != kAlertContinueItem && item != kAlertQuitItem) {
    item = tb.ModalDialog(alert);
    if (item <= 0) break;  // the window is gone: go on as with continue
  }
  tb.DisposeDialog(alert);
  if (item == kAlertQuitItem) {
    // The output being written must not stay behind, under any name.
    uuDiscardOutputInProgress();
    tb.ExitToShell();
  }
}

std::string StatusText(std::string_view prefix, std::string_view name) {
  std::string status(prefix);
  status += name;
  return FitItemText(status);
}

}  // namespace

std::string_view DisplayName(std::string_view text) {
  const auto slash = text.find_last_of('/');
  return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

std::string FitItemText(std::string_view text) {
  if (text.size() <= toolbox::kMaxItemText) return std::string(text);
  const std::size_t keep = toolbox::kMaxItemText - kEllipsis.size();
  // Both cuts on character starts: the head may only shrink, the tail only start later.
  const std::size_t head = common::CharacterStartAtOrBefore(text, keep / 2);
  const std::size_t tail = common::CharacterStartAtOrAfter(text, text.size() - (keep - keep / 2));
  std::string fitted(text.substr(0, head));
  fitted += kEllipsis;
  fitted += text.substr(tail);
  return fitted;
}

std::string_view LevelName(int level) {
  switch (level) {
    case kLevelError:
      return "Error";
    case kLevelWarning:
      return "Warning";
    default:
      return "Note";
  }
}

void OpenProgress(Toolbox& tb, DialogRef& dialog) {
  CurrentProgress() = ProgressRun{};
  CurrentProgress().started = std::chrono::steady_clock::now();
  ResetStop(tb);
  dialog = tb.GetNewDialog(toolbox::kProgressDialogID);
  if (!dialog) return;
  // The results view's items wait for the end of the run; hidden before the
  // window first shows, so they never flash up while it opens.
  for (const DialogItemIndex item :
       {kProgressResultsItem, kProgressOpenFolderItem, kProgressCloseItem, kProgressRepairItem}) {
    tb.HideDialogItem(dialog, item);
  }
  tb.ShowWindow(dialog);
  tb.SetPort(dialog);
  tb.SetWTitle(dialog, kProgressTitle);
  for (int i = 0; i < kOpeningEvents; ++i) {
    toolbox::EventRecord event;
    tb.GetNextEvent(kOpeningMask, event);
    if (tb.IsDialogEvent(event)) {
      DialogRef hit_dialog;
      DialogItemIndex hit_item = 0;
      tb.DialogSelect(event, hit_dialog, hit_item);
    }
  }
  toolbox::SetProgressBarIndeterminate(tb, dialog, kProgressBarItem);
}

void CloseProgress(Toolbox& tb, DialogRef& dialog) {
  NoteOutputInProgress({});
  tb.SetLauncherProgress(-1);
  RunResults& results = LastRun();
  AnnounceLongRun(tb, results);
  // A quit asked for during the run is carried out at once.
  if (!StoppedForQuit()) {
    if (run_state().error_count != 0) MsgCallBack(tb, kLevelSummary, kSummaryText);
    const bool worth_showing = CurrentProgress().reported != 0 || results.stopped || AnyOutputNotGood(results);
    if (dialog && worth_showing) ShowResults(tb, dialog, results);
  }
  if (dialog) tb.DisposeDialog(dialog);
  dialog = DialogRef{};
}

int MsgCallBack(Toolbox& tb, int level, std::string_view text) {
  const bool listed = level == kLevelWarning || (level == kLevelError && prefs.errors_to_progress != 0);
  ListMessage(tb, level, text);
  // Without a progress window a listed level 0 falls through to the alert, so
  // the error is still seen.
  if (progPtr && listed) {
    toolbox::SetCText(tb, progPtr, kProgressMessageItem, FitItemText(text));
    ++run_state().error_count;
    FlushWindow(tb, progPtr);
    return 1;
  }
  if (level == kLevelSummary || level == kLevelError) ShowAlert(tb, text);
  return 1;
}

int BusyCallback(Toolbox& tb, int type, int state, std::string_view text, int percent) {
  const std::string_view name = DisplayName(text);
  ProgressRun& run = CurrentProgress();
  if (type == kBusyScanning) {
    const std::string status = StatusText("Scanning: ", name);
    NoteOutputInProgress({});
    if (!progPtr) return 0;
    toolbox::SetCText(tb, progPtr, kProgressStatusItem, status);
    toolbox::SetProgressBarIndeterminate(tb, progPtr, kProgressBarItem);
  } else if (type == kBusyDecoding) {
    if (state == -1 && progPtr) toolbox::SetProgressBarDeterminate(tb, progPtr, kProgressBarItem);
    const std::string status = StatusText("Decoding: ", name);
    NoteOutputInProgress(text);
    if (!progPtr) return 0;
    toolbox::SetCText(tb, progPtr, kProgressStatusItem, status);
    if (state == -1) {
      run.part_start = run.part_end = 0;
      ShowBar(tb, percent);
    } else {
      // The part about to be decoded spans from the last percent to this one.
      run.part_start = run.part_end;
      run.part_end = percent;
      ShowBar(tb, run.part_end > run.part_start ? run.part_start : percent);
    }
  } else if (type == kBusyPoll && progPtr) {
    ShowPartRead(tb, percent);
  }
  if (!progPtr) return 0;
  tb.IdleControls(progPtr);
  FlushWindow(tb, progPtr);
  return StopWanted(tb, progPtr) ? 1 : 0;
}

void DisplayAbout(Toolbox& tb) {
  tb.InitCursor();
  const DialogRef about = tb.GetNewDialog(toolbox::kAboutDialogID);
  if (!about) return;
  toolbox::SetCText(tb, about, kAboutNameItem, std::string(kProgressTitle) + " " + kVersion);
  tb.ShowWindow(about);
  tb.SetPort(about);
  DialogItemIndex item = 0;
  while (item != kAboutCloseItem) {
    item = tb.ModalDialog(about);
    if (item <= 0) break;
  }
  tb.DisposeDialog(about);
}

void DisplayError(Toolbox& tb, bool show, const char* format, ...) {
  char message[kMessageBuffer];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(message, sizeof message, format, arguments);
  va_end(arguments);
  if (show) ShowAlert(tb, message);
}

}  // namespace vantorelle::app
