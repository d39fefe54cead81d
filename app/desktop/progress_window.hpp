// progress_window.hpp - the progress window of a run, the message alert, the busy hook and the about box.
//
// A run's messages reach the user here: warnings (level 1), and errors
// (level 0) when the preference says so, are listed in the progress window and
// counted in run_state().error_count; other errors and the end-of-run summary
// (level 9) stop in a modal alert that offers to continue or to quit the
// program at once; notes (level 2) are never shown. Every error and warning
// of the run also goes into the window's message list, in order; when the run
// reported any, or was stopped, the window ends as the results view.
#pragma once

#include <string>
#include <string_view>

#include "vantorelle/engine.hpp"  // the message levels and busy types
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// Progress window (dialog 130) items.
inline constexpr toolbox::DialogItemIndex kProgressStatusItem = 2;
inline constexpr toolbox::DialogItemIndex kProgressBarItem = 5;
inline constexpr toolbox::DialogItemIndex kProgressMessageItem = 6;  // the latest message listed
inline constexpr toolbox::DialogItemIndex kProgressStopItem = 7;     // also Escape and the close button
inline constexpr toolbox::DialogItemIndex kProgressListItem = 8;     // every message: level, text
inline constexpr toolbox::DialogItemIndex kProgressResultsItem = 9;  // file, size, verdict
inline constexpr toolbox::DialogItemIndex kProgressOpenFolderItem = 10;
inline constexpr toolbox::DialogItemIndex kProgressCloseItem = 11;
inline constexpr toolbox::DialogItemIndex kProgressRepairItem = 12;  // "Repair now?": PAR2 sets that can be repaired
// A run longer than this, ended while the application is not active, is
// announced by a desktop notification.
inline constexpr int kNotifyAfterSeconds = 10;
// Alert (dialog 131) items.
inline constexpr toolbox::DialogItemIndex kAlertContinueItem = 1;
inline constexpr toolbox::DialogItemIndex kAlertQuitItem = 2;
inline constexpr toolbox::DialogItemIndex kAlertTextItem = 3;
// About box (dialog 128).
inline constexpr toolbox::DialogItemIndex kAboutCloseItem = 1;
inline constexpr toolbox::DialogItemIndex kAboutNameItem = 2;  // the name and version

inline constexpr std::string_view kProgressTitle = "Vantorelle";
inline constexpr std::string_view kSummaryText = "There where errors while decoding";

// The progress window of the run in progress; the null handle when none is open.
extern toolbox::DialogRef progPtr;

// Opens the progress window (title "Vantorelle", indeterminate bar) into
// `dialog` and lets it draw before the run blocks the event loop.
void OpenProgress(toolbox::Toolbox& tb, toolbox::DialogRef& dialog);

// Shows the summary alert when messages were listed during the run, then the
// results view when the run reported anything or was stopped, then disposes
// of the window; `dialog` becomes the null handle. A run stopped for a quit
// request goes without either. A long run that ends while the application is
// not active is announced by a notification.
void CloseProgress(toolbox::Toolbox& tb, toolbox::DialogRef& dialog);

// The message hook. Always returns 1. The alert's quit button ends the
// process here (ExitToShell), without writing the preferences.
int MsgCallBack(toolbox::Toolbox& tb, int level, std::string_view text);

// The busy hook: "Scanning: NAME" with an indeterminate bar (type 1),
// "Decoding: NAME" with the bar at `percent` (type 2; state -1 makes the bar
// determinate first), and for every type idle time and a flush. NAME is the
// part of `text` after its last '/'. Inside a part the bar moves on from
// the previous part's percent by the share of the part the poll says is read.
// Returns 1, asking the engine to stop, once StopWanted says so; otherwise 0.
int BusyCallback(toolbox::Toolbox& tb, int type, int state, std::string_view text, int percent);

// The level's name in the message list: "Error", "Warning", "Note".
std::string_view LevelName(int level);

// Shows the about box, with the program's version, until it is closed.
void DisplayAbout(toolbox::Toolbox& tb);

// Formats a message (printf rules, at most 255 bytes) and shows it in the
// alert as MsgCallBack does, when `show` is true.
void DisplayError(toolbox::Toolbox& tb, bool show, const char* format, ...) __attribute__((format(printf, 3, 4)));

// `text` as it fits a dialog item: texts longer than 255 bytes lose bytes in
// the middle, where "…" marks the cut, so the start of a message and the end
// of a path (the file name) stay. Never splits a UTF-8 sequence.
std::string FitItemText(std::string_view text);

// The part of `text` after its last '/'; the whole text when it has none.
std::string_view DisplayName(std::string_view text);

}  // namespace vantorelle::app
