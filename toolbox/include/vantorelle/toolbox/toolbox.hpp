// toolbox.hpp - the services the shell calls to show things and to meet the desktop.
//
// The shell is written against this class alone. Two backends implement it:
// QtToolbox (the desktop application, library vantorelle_toolbox_qt) and
// ScriptedToolbox (tests; no display, no Qt). The services carry the classic
// names, and the numbers the shell relies on are kept:
//
//   * Dialogs are created by resource ID (resources.hpp) and their items are
//     numbered from 1. ModalDialog returns the number of the item hit; a check
//     box is not flipped by the click, the shell flips it. Item texts hold at
//     most kMaxItemText (255) bytes; longer texts are cut when set.
//   * A menu choice is (menu ID << 16) | item number; 0 means none.
//   * Event records carry kind, message, where and the modifier word
//     (0x0100 command, 0x0200 shift, 0x0800 option, 0x1000 control).
//     A menu command reaches the shell as a mouse-down in the menu bar whose
//     MenuSelect returns the choice; a key typed with the command modifier as
//     a key-down; an Apple event as a high-level event (kind 23).
//
// Threading: everything is called on the main thread only.
// Ownership: a DialogRef returned by GetNewDialog belongs to the caller until
// it is handed to DisposeDialog; afterwards it is dead and must not be used.
// The toolbox owns every window; the shell holds plain handles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vantorelle/toolbox/apple_events.hpp"
#include "vantorelle/toolbox/resources.hpp"
#include "vantorelle/toolbox/types.hpp"

namespace vantorelle::toolbox {

// Most bytes a dialog item text holds.
inline constexpr std::size_t kMaxItemText = 255;

// `text` cut to kMaxItemText bytes. A cut never splits a UTF-8 sequence, so
// the result may be a few bytes shorter than the limit.
std::string LimitItemText(std::string_view text);

// Handle of a dialog created by GetNewDialog; the null handle is "no dialog".
struct DialogRef {
  std::uint32_t serial = 0;
  explicit operator bool() const { return serial != 0; }
  bool operator==(const DialogRef&) const = default;
};

// Handle of a menu, by its ID; the null handle is "no menu".
struct MenuRef {
  ResID id = 0;
  explicit operator bool() const { return id != 0; }
  bool operator==(const MenuRef&) const = default;
};

// Open-file chooser.
struct NavDialogOptions {
  bool allow_multiple_files = true;
};
struct NavTypeList {
  OSType component_signature = kAnyCreator;
  std::int16_t reserved = 0;
  std::vector<OSType> types;  // 'TEXT': text files are offered first, all files allowed
};
struct NavReplyRecord {
  bool valid_record = false;    // false when the user cancelled
  std::vector<FSRef> selection;  // the chosen files, absolute paths
};

class Toolbox {
 public:
  Toolbox() = default;
  virtual ~Toolbox() = default;
  Toolbox(const Toolbox&) = delete;
  Toolbox& operator=(const Toolbox&) = delete;

  // ---- Events -------------------------------------------------------------
  // Each takes the first queued event whose kind is in `mask` (high-level
  // events need highLevelEventMask) into `event` and returns true. With none,
  // `event` becomes a null event and the result is false. `modifiers` is always
  // the keyboard state at the call.
  // GetNextEvent lets the desktop deliver what it has, without waiting.
  bool GetNextEvent(EventMask mask, EventRecord& event);
  // WaitNextEvent waits up to `sleep_ticks` sixtieths of a second for one.
  bool WaitNextEvent(EventMask mask, EventRecord& event, std::uint32_t sleep_ticks);
  // EventAvail looks without removing anything.
  bool EventAvail(EventMask mask, EventRecord& event);

  // Queues an event record (backends; tests through ScriptedToolbox).
  void PostEvent(const EventRecord& event);
  // Queues a mouse-down in the menu bar whose MenuSelect will return `choice`.
  void PostMenuChoice(std::int32_t choice);
  // Queues an Apple event: its record now, its content for AEProcessAppleEvent.
  void PostAppleEvent(AppleEvent event);

  // ---- Apple events -------------------------------------------------------
  // Installs `handler` for class and ID, replacing an earlier one. paramErr for
  // an empty handler.
  OSErr AEInstallEventHandler(AEEventClass event_class, AEEventID event_id, AEEventHandler handler,
                              long refcon);
  // Runs the handler of a high-level event taken from the queue, inside this
  // call, and returns its result (errAEEventNotHandled when none is installed).
  OSErr AEProcessAppleEvent(const EventRecord& event);

  // ---- Menus --------------------------------------------------------------
  // The menu of resource `id`; the null handle when there is no such menu.
  MenuRef GetMenu(ResID id);
  // Appends `menu` to the menu bar (before_id 0: at the end).
  void InsertMenu(MenuRef menu, ResID before_id);
  // Shows the menu bar with the menus inserted.
  void DrawMenuBar();
  // The handle of an inserted menu; the null handle otherwise.
  MenuRef GetMenuHandle(ResID id) const;
  // Enables the items that send `command` (menu: null for every menu).
  void EnableMenuCommand(MenuRef menu, MenuCommand command);
  // inMenuBar for a point in the menu bar, inDesk otherwise.
  WindowPartCode FindWindow(Point where) const;
  // The choice of the latest menu-bar mouse-down taken from the queue, and
  // forgets it; 0 for none. An item that sends a command (Quit) posts that
  // Apple event instead and gives 0.
  std::int32_t MenuSelect(Point where);
  // The choice whose command-key equivalent is `character` (either case),
  // among enabled items of inserted menus; 0 for none. Commands as MenuSelect.
  std::int32_t MenuKey(char character);
  // Unhighlights the menu titles (0) or highlights one.
  void HiliteMenu(ResID id);
  // Sets the mark of an item: kCheckMark or kNoMark.
  void SetItemMark(MenuRef menu, DialogItemIndex item, char mark);
  char GetItemMark(MenuRef menu, DialogItemIndex item) const;

  // ---- Dialogs ------------------------------------------------------------
  // Creates dialog `id` in front of every window, hidden; the null handle when
  // there is no such resource. The caller disposes of it.
  virtual DialogRef GetNewDialog(ResID id) = 0;
  virtual void ShowWindow(DialogRef dialog) = 0;
  // Hides, destroys and forgets the dialog.
  virtual void DisposeDialog(DialogRef dialog) = 0;
  // The current drawing port (a dialog or none), and making one current.
  virtual DialogRef GetPort() const = 0;
  virtual void SetPort(DialogRef dialog) = 0;
  // Runs the dialog until an item is hit and returns its number. Clicks do not
  // change check boxes; Escape and the close button hit the dialog's cancel item.
  virtual DialogItemIndex ModalDialog(DialogRef dialog) = 0;
  // Whether `event` is meant for a dialog, and routing it there. Desktop
  // happenings reach dialogs directly, so queued records never are.
  virtual bool IsDialogEvent(const EventRecord& event) const = 0;
  virtual bool DialogSelect(const EventRecord& event, DialogRef& dialog, DialogItemIndex& item) = 0;

  // Text of a static text, edit text or button item. Set cuts to kMaxItemText.
  virtual void SetDialogItemText(DialogRef dialog, DialogItemIndex item, std::string_view text) = 0;
  virtual std::string GetDialogItemText(DialogRef dialog, DialogItemIndex item) const = 0;
  // Value of a check box (0 or 1) or progress bar (0 to 100; kept while
  // indeterminate). Other items read 0 and ignore a set.
  virtual std::int16_t GetControlValue(DialogRef dialog, DialogItemIndex item) const = 0;
  virtual void SetControlValue(DialogRef dialog, DialogItemIndex item, std::int16_t value) = 0;
  // One-byte Boolean control data: 'dflt' on a push button makes it the
  // default button; 'inde' on a progress bar makes it indeterminate (true) or
  // determinate (false). errDataNotSupported for any other tag or item kind.
  virtual OSErr SetControlData(DialogRef dialog, DialogItemIndex item, ControlPartCode part, ResType tag,
                               bool value) = 0;
  // Gives the dialog's controls their idle time (animates an indeterminate bar).
  virtual void IdleControls(DialogRef dialog) = 0;
  // For a modeless dialog while the shell keeps the event loop blocked: lets
  // the desktop deliver clicks and keys (those for other windows are queued
  // as events, never acted on here) and takes the dialog's oldest item hit
  // not yet taken; 0 for none. Never waits.
  virtual DialogItemIndex TakeDialogHit(DialogRef dialog) = 0;
  // Shows or hides one item; a hidden item keeps its text and value.
  virtual void ShowDialogItem(DialogRef dialog, DialogItemIndex item) = 0;
  virtual void HideDialogItem(DialogRef dialog, DialogItemIndex item) = 0;
  // A list item's rows, each a row of cells (texts cut to kMaxItemText bytes):
  // appending one, emptying the list, and reading them back.
  virtual void AddListRow(DialogRef dialog, DialogItemIndex item, const std::vector<std::string>& cells) = 0;
  virtual void ClearList(DialogRef dialog, DialogItemIndex item) = 0;
  virtual std::vector<std::vector<std::string>> ListRows(DialogRef dialog, DialogItemIndex item) const = 0;

  // Whether a quit request waits in the queue: the quit Apple event, or a
  // menu choice or command key that would send it. Nothing is taken.
  bool QuitRequestQueued() const;

  // ---- Windows ------------------------------------------------------------
  virtual void SetWTitle(DialogRef dialog, std::string_view title) = 0;
  // Makes what was set visible now, while the caller keeps the event loop
  // blocked. The desktop backend also lets the window system's own requests
  // through (exposure, the window manager's are-you-alive ping), not clicks or keys.
  virtual void QDFlushPortBuffer(DialogRef dialog) = 0;
  // Restores the arrow cursor.
  virtual void InitCursor() = 0;
  virtual void SysBeep(std::int16_t duration) = 0;
  // Ends the process at once, without the normal way out. The scripted
  // backend throws ExitToShellCalled instead, so a test can see it.
  [[noreturn]] virtual void ExitToShell() = 0;

  // ---- Open-file chooser ----------------------------------------------------
  // NavLoad and NavUnload bracket every use of the chooser.
  virtual OSErr NavLoad() = 0;
  virtual OSErr NavUnload() = 0;
  OSErr NavGetDefaultDialogOptions(NavDialogOptions& options);
  // Asks for a file of the listed types. userCanceledErr or an invalid reply
  // when the user cancels. The reply is released with NavDisposeReply.
  virtual OSErr NavChooseFile(const NavDialogOptions& options, const NavTypeList& types,
                              NavReplyRecord& reply) = 0;
  virtual OSErr NavDisposeReply(NavReplyRecord& reply) = 0;
  // Asks for one folder; its path is the reply's only selection. As NavChooseFile otherwise.
  virtual OSErr NavChooseFolder(const NavDialogOptions& options, NavReplyRecord& reply) = 0;

  // ---- Remembered values ---------------------------------------------------------
  // A Boolean the application keeps between launches under `key`, apart from
  // its preference record; `fallback` when none is kept (or it cannot be read).
  virtual bool CFPreferencesGetAppBooleanValue(std::string_view key, bool fallback) const = 0;
  // Keeps `value` under `key`, written before the call returns.
  virtual void CFPreferencesSetAppValue(std::string_view key, bool value) = 0;

  // ---- Folders and files ------------------------------------------------------
  // `folder` := the Preferences folder (kPreferencesFolderType) or the Trash
  // (kTrashFolderType), made first when `create` and missing. fnfErr when it
  // cannot be found (or made), paramErr for another type. `volume` is ignored.
  virtual OSErr FSFindFolder(std::int16_t volume, OSType folder_type, bool create, FSRef& folder) = 0;
  // The MIME type that `file_name`'s extension maps to; icPrefNotFoundErr when
  // none does. Stands for the extension-to-type mapping of file typing.
  virtual OSErr MapFileName(std::string_view file_name, std::string& mime_type) = 0;
  // Records `mime_type` on the file (the user.mime_type extended attribute).
  // An error result when the file or its file system does not take it.
  virtual OSErr SetFileMimeType(const std::string& path, std::string_view mime_type) = 0;
  // Shows `folder` in the user's file manager.
  virtual OSErr OpenFolder(const std::string& folder) = 0;

  // ---- Desktop ------------------------------------------------------------------
  // Whether one of the application's windows has the keyboard focus.
  virtual bool ApplicationActive() const = 0;
  // A desktop notification; nothing where the desktop has no notification service.
  virtual void NotifyUser(std::string_view title, std::string_view body) = 0;
  // The launcher entry's progress (docks and task managers): 0 to 100, or -1
  // to hide it.
  virtual void SetLauncherProgress(int percent) = 0;

 protected:
  // Lets the desktop deliver its happenings, waiting up to `sleep_ticks` when
  // nothing is queued (0: do not wait).
  virtual void PumpEvents(std::uint32_t sleep_ticks) = 0;
  // The modifier word of the keyboard now.
  virtual EventModifiers LiveModifiers() const = 0;
  // Presentation of the menu state that the base class keeps.
  virtual void PresentMenuInserted(ResID id) = 0;
  virtual void PresentMenuBar() = 0;
  virtual void PresentItemMark(ResID menu, DialogItemIndex item, char mark) = 0;
  virtual void PresentMenuCommandEnabled(MenuCommand command) = 0;
  virtual void PresentHilite(ResID id) = 0;
  // Whether an item of an inserted menu can be chosen now.
  virtual bool MenuItemEnabled(ResID menu, DialogItemIndex item) const;

  bool QueueEmpty() const { return queue_.empty(); }

 private:
  struct QueuedEvent {
    EventRecord record;
    std::int32_t menu_choice;  // for menu-bar mouse-downs
  };
  bool Take(EventMask mask, EventRecord& event, bool remove);
  std::int32_t FinishChoice(std::int32_t choice);

  std::deque<QueuedEvent> queue_;
  AppleEventDispatcher apple_events_;
  std::vector<ResID> menu_bar_;
  std::vector<MenuCommand> enabled_commands_;
  struct Mark {
    ResID menu;
    DialogItemIndex item;
    char mark;
  };
  std::vector<Mark> marks_;
  std::int32_t pending_choice_ = 0;
};

}  // namespace vantorelle::toolbox
