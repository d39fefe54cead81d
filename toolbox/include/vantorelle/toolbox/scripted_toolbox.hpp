// scripted_toolbox.hpp - a toolbox for tests: answers come from a script, everything shown is recorded.
//
// Driving it:
//   ScriptedToolbox tb;
//   tb.AnswerDialog(135, {{{}, 5}, {{}, 1}});   // click item 5, then item 1 (OK)
//   tb.AnswerDialog(141, {{{{3, "photos"}}, 1}}); // type "photos" into item 3, hit OK
//   tb.SetModifiers(shiftKey | optionKey);       // keys held from now on
//   tb.PostAppleEvent({kCoreEventClass, kAEOpenDocuments, {{"/d/a.txt"}}});
//   tb.AnswerFileChooser({true, {{"/d/a.txt"}}});
// and then asserting on tb.dialogs(), tb.log(), tb.beeps() and so on.
//
// It fails loudly by throwing ScriptError: a modal dialog opens with no answer
// queued for it (or the next answer is for another dialog), ModalDialog runs
// out of steps, an item number or dialog ID does not exist, a disposed dialog
// is used, the chooser opens with no reply queued, or an event loop waits on
// an empty queue more than starvation_limit times in a row.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::toolbox {

class ScriptError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Thrown by ExitToShell, which must not end the test process.
class ExitToShellCalled : public std::runtime_error {
 public:
  ExitToShellCalled() : std::runtime_error("ExitToShell") {}
};

class ScriptedToolbox final : public Toolbox {
 public:
  // One turn of ModalDialog: type these texts into these items, then hit `hit`.
  // A hit of 0 is the dialog's window going away: ModalDialog returns 0.
  struct Step {
    std::vector<std::pair<DialogItemIndex, std::string>> typing;
    DialogItemIndex hit = 0;
  };

  // What happened to one dialog, kept after it is disposed of.
  struct DialogRecord {
    ResID id = 0;
    DialogRef ref;
    bool shown = false;
    bool disposed = false;
    std::string title;
    std::map<DialogItemIndex, std::string> texts;
    std::map<DialogItemIndex, std::int16_t> values;
    std::map<std::pair<DialogItemIndex, ResType>, bool> data;  // last value per item and tag
    std::vector<DialogItemIndex> hits;                         // ModalDialog results, in order
    std::map<DialogItemIndex, std::vector<std::vector<std::string>>> rows;  // list items
    std::map<DialogItemIndex, bool> hidden;
    int flushes = 0;
    int idles = 0;
  };

  // ---- The script ---------------------------------------------------------------
  // Queues the answer for the next modal dialog opened; it must have `id`. A
  // modeless dialog takes the next answer only when it is for its `id`;
  // ModalDialog on one without steps gives 0, the window closed.
  void AnswerDialog(ResID id, std::vector<Step> steps);
  // A hit that TakeDialogHit gives on a dialog of `id` at its `poll`-th call
  // (counted from 1 over the dialogs of that id), as a click during a run.
  void HitDuringRun(ResID id, DialogItemIndex item, int poll);
  // Whether ApplicationActive answers true (it does unless told otherwise).
  void SetActive(bool active) { active_ = active; }
  // Queues the reply for the next NavChooseFile or NavChooseFolder. An invalid reply is a cancel.
  void AnswerFileChooser(NavReplyRecord reply);
  // The modifier word from now on.
  void SetModifiers(EventModifiers modifiers) { modifiers_ = modifiers; }
  // A key-down with the command modifier (and `extra` ones) for `character`.
  void PostCommandKey(char character, EventModifiers extra = 0);
  // The folder FSFindFolder reports for `folder_type`; an empty path makes the
  // lookup fail with fnfErr. Without an override the real XDG lookup is used.
  void SetFolder(OSType folder_type, std::string path) { folders_[folder_type] = std::move(path); }
  // The MIME type MapFileName gives for a name ending in `extension` (".jpg").
  void SetMimeMapping(std::string extension, std::string mime_type);
  // The values kept between launches: seed them to stand for an earlier launch.
  std::map<std::string, bool, std::less<>>& remembered() { return remembered_; }
  // How many empty-handed event waits in a row count as a hung event loop.
  void set_starvation_limit(int limit) { starvation_limit_ = limit; }

  // ---- The record --------------------------------------------------------------
  const std::vector<DialogRecord>& dialogs() const { return dialogs_; }
  // The latest dialog of `id`; ScriptError when there is none.
  const DialogRecord& last_dialog(ResID id) const;
  // Dialogs created but not yet disposed of.
  int open_dialogs() const;
  // Every call that shows something, one line each, e.g. "GetNewDialog 135",
  // "SetDialogItemText 130/2 Scanning: a.txt", "SysBeep", "ModalDialog 135 -> 1".
  const std::vector<std::string>& log() const { return log_; }
  int beeps() const { return beeps_; }
  int cursor_resets() const { return cursor_resets_; }
  int nav_loads() const { return nav_loads_; }
  int nav_unloads() const { return nav_unloads_; }
  int nav_replies_open() const { return nav_replies_open_; }
  bool menu_bar_drawn() const { return menu_bar_drawn_; }
  // (path, MIME type) pairs given to SetFileMimeType.
  const std::vector<std::pair<std::string, std::string>>& mime_types_set() const { return mime_types_set_; }
  // Answers and replies queued but never used, described; empty when all were.
  std::string UnusedAnswers() const;

  // ---- Toolbox ---------------------------------------------------------------------
  DialogRef GetNewDialog(ResID id) override;
  void ShowWindow(DialogRef dialog) override;
  void DisposeDialog(DialogRef dialog) override;
  DialogRef GetPort() const override { return port_; }
  void SetPort(DialogRef dialog) override;
  DialogItemIndex ModalDialog(DialogRef dialog) override;
  bool IsDialogEvent(const EventRecord& event) const override;
  bool DialogSelect(const EventRecord& event, DialogRef& dialog, DialogItemIndex& item) override;
  void SetDialogItemText(DialogRef dialog, DialogItemIndex item, std::string_view text) override;
  std::string GetDialogItemText(DialogRef dialog, DialogItemIndex item) const override;
  std::int16_t GetControlValue(DialogRef dialog, DialogItemIndex item) const override;
  void SetControlValue(DialogRef dialog, DialogItemIndex item, std::int16_t value) override;
  OSErr SetControlData(DialogRef dialog, DialogItemIndex item, ControlPartCode part, ResType tag,
                       bool value) override;
  void IdleControls(DialogRef dialog) override;
  DialogItemIndex TakeDialogHit(DialogRef dialog) override;
  void ShowDialogItem(DialogRef dialog, DialogItemIndex item) override;
  void HideDialogItem(DialogRef dialog, DialogItemIndex item) override;
  void AddListRow(DialogRef dialog, DialogItemIndex item, const std::vector<std::string>& cells) override;
  void ClearList(DialogRef dialog, DialogItemIndex item) override;
  std::vector<std::vector<std::string>> ListRows(DialogRef dialog, DialogItemIndex item) const override;
  void SetWTitle(DialogRef dialog, std::string_view title) override;
  void QDFlushPortBuffer(DialogRef dialog) override;
  void InitCursor() override;
  void SysBeep(std::int16_t duration) override;
  [[noreturn]] void ExitToShell() override;
  OSErr NavLoad() override;
  OSErr NavUnload() override;
  OSErr NavChooseFile(const NavDialogOptions& options, const NavTypeList& types, NavReplyRecord& reply) override;
  OSErr NavDisposeReply(NavReplyRecord& reply) override;
  OSErr NavChooseFolder(const NavDialogOptions& options, NavReplyRecord& reply) override;
  bool CFPreferencesGetAppBooleanValue(std::string_view key, bool fallback) const override;
  void CFPreferencesSetAppValue(std::string_view key, bool value) override;
  OSErr FSFindFolder(std::int16_t volume, OSType folder_type, bool create, FSRef& folder) override;
  OSErr MapFileName(std::string_view file_name, std::string& mime_type) override;
  OSErr SetFileMimeType(const std::string& path, std::string_view mime_type) override;
  OSErr OpenFolder(const std::string& folder) override;
  bool ApplicationActive() const override { return active_; }
  void NotifyUser(std::string_view title, std::string_view body) override;
  void SetLauncherProgress(int percent) override;

 protected:
  void PumpEvents(std::uint32_t sleep_ticks) override;
  EventModifiers LiveModifiers() const override { return modifiers_; }
  void PresentMenuInserted(ResID id) override;
  void PresentMenuBar() override;
  void PresentItemMark(ResID menu, DialogItemIndex item, char mark) override;
  void PresentMenuCommandEnabled(MenuCommand command) override;
  void PresentHilite(ResID id) override;

 private:
  struct Answer {
    ResID id;
    std::deque<Step> steps;
  };
  struct Live {
    const DialogTemplate* layout;
    std::size_t record;  // index into dialogs_
    std::deque<Step> steps;
  };

  Live& LiveDialog(DialogRef dialog, const char* call);
  const Live& LiveDialog(DialogRef dialog, const char* call) const;
  const DialogItemTemplate& Item(const Live& live, DialogItemIndex item, const char* call) const;
  DialogRecord& RecordOf(const Live& live) { return dialogs_[live.record]; }
  const DialogRecord& RecordOf(const Live& live) const { return dialogs_[live.record]; }
  void Log(std::string line) { log_.push_back(std::move(line)); }
  OSErr TakeChooserReply(const std::string& call, NavReplyRecord& reply);

  struct RunHit {
    ResID id;
    DialogItemIndex item;
    int poll;
  };
  std::deque<Answer> answers_;
  std::vector<RunHit> run_hits_;
  std::map<ResID, int> polls_;
  bool active_ = true;
  std::deque<NavReplyRecord> chooser_replies_;
  std::map<std::uint32_t, Live> live_;
  std::vector<DialogRecord> dialogs_;
  std::vector<std::string> log_;
  std::map<OSType, std::string> folders_;
  std::map<std::string, bool, std::less<>> remembered_;
  std::vector<std::pair<std::string, std::string>> mime_map_;
  std::vector<std::pair<std::string, std::string>> mime_types_set_;
  DialogRef port_;
  std::uint32_t next_serial_ = 1;
  EventModifiers modifiers_ = 0;
  int starvation_limit_ = 1000;
  int starved_ = 0;
  int beeps_ = 0;
  int cursor_resets_ = 0;
  int nav_loads_ = 0;
  int nav_unloads_ = 0;
  int nav_replies_open_ = 0;
  bool menu_bar_drawn_ = false;
};

}  // namespace vantorelle::toolbox
