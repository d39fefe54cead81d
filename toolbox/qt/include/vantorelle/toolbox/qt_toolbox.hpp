// qt_toolbox.hpp - the toolbox on Qt 6 Widgets: the desktop application's backend.
//
// Construct it after the QApplication and destroy it before. It owns a main
// window that carries the menu bar and is a drop area for files (an 'odoc'
// event) with an Open button (the open-file menu choice); closing that window
// sends 'quit'. The application menu (128) is shown last, as Help. The
// window shows once the menu bar is drawn and the application first waits
// for an event. Dialogs come from the forms in resources/,
// compiled in; each item widget is named "dlg<ID>_item<number>", each menu
// item action "menu<ID>_item<number>".
#pragma once

#include <memory>

#include "vantorelle/toolbox/toolbox.hpp"

class QDialog;
class QFileDialog;
class QMainWindow;
class QWidget;

namespace vantorelle::toolbox {

class QtToolbox final : public Toolbox {
 public:
  QtToolbox();
  ~QtToolbox() override;

  // The window of a live dialog and the widget of one of its items, or
  // nullptr. For tests and for the application's own wiring; owned here.
  QDialog* DialogWindow(DialogRef dialog) const;
  QWidget* ItemWidget(DialogRef dialog, DialogItemIndex item) const;
  QMainWindow* MainWindow() const;
  // The file or folder chooser while one is open, else nullptr (for tests).
  QFileDialog* OpenChooser() const;

  // Queues an Apple event that comes from outside the window (another
  // launch, a signal) and wakes a WaitNextEvent that is waiting.
  void DeliverAppleEvent(AppleEvent event);
  // Brings the main window to the front; the first time, where and as large
  // as it was when the last launch ended.
  void RaiseMainWindow();
  // Keeps the main window's size and place for the next launch (also done
  // when the toolbox is destroyed).
  void SaveWindowGeometry();

  DialogRef GetNewDialog(ResID id) override;
  void ShowWindow(DialogRef dialog) override;
  void DisposeDialog(DialogRef dialog) override;
  DialogRef GetPort() const override;
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
  bool ApplicationActive() const override;
  void NotifyUser(std::string_view title, std::string_view body) override;
  void SetLauncherProgress(int percent) override;

 protected:
  void PumpEvents(std::uint32_t sleep_ticks) override;
  EventModifiers LiveModifiers() const override;
  void PresentMenuInserted(ResID id) override;
  void PresentMenuBar() override;
  void PresentItemMark(ResID menu, DialogItemIndex item, char mark) override;
  void PresentMenuCommandEnabled(MenuCommand command) override;
  void PresentHilite(ResID id) override;
  bool MenuItemEnabled(ResID menu, DialogItemIndex item) const override;

 private:
  void RestoreWindowGeometry();
  OSErr RunChooser(QFileDialog& chooser, NavReplyRecord& reply);

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vantorelle::toolbox
