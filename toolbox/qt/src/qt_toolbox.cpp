// qt_toolbox.cpp - the Qt backend: events, menus, windows, the file chooser, folders.
#include "vantorelle/toolbox/qt_toolbox.hpp"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMimeDatabase>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "modifiers.hpp"
#include "qt_toolbox_impl.hpp"
#include "vantorelle/toolbox/folders.hpp"

namespace vantorelle::toolbox {
namespace {

std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

constexpr char kArticleFilter[] = "Saved articles (*.txt *.uue *.uu *.eml *.nws *.msg *.mbox *.yenc *.ync *.news)";

// The character of a key, as typed without the command key; 0 when it has none.
char KeyCharacter(const QKeyEvent& key) {
  const int code = key.key();
  if (code >= Qt::Key_A && code <= Qt::Key_Z)
    return static_cast<char>((key.modifiers() & Qt::ShiftModifier) ? code : code - Qt::Key_A + 'a');
  if (code >= 0x20 && code < 0x7F) return static_cast<char>(code);
  return 0;
}

}  // namespace

bool CommandKeyFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
  if (static_cast<QWidget*>(watched)->window() != window_) return false;
  const auto& key = static_cast<const QKeyEvent&>(*event);
  const char character = KeyCharacter(key);
  if (!(key.modifiers() & Qt::ControlModifier) || character == 0) return false;
  EventRecord record;
  record.what = key.isAutoRepeat() ? autoKey : keyDown;
  record.message = static_cast<unsigned char>(character) | ((key.nativeScanCode() & 0xFFu) << 8);
  record.modifiers = ModifiersFromQt(key.modifiers());
  post_(record);
  return true;
}

QtToolbox::QtToolbox() : impl_(std::make_unique<Impl>()) {
  impl_->window = std::make_unique<MenuWindow>();
  MenuWindow* window = impl_->window.get();
  QObject::connect(window, &MenuWindow::menuChosen, window, [this](std::int32_t choice) {
    PostMenuChoice(choice);
    impl_->WakeUp();
  });
  QObject::connect(window, &MenuWindow::filesDropped, window, [this](const QStringList& paths) {
    AppleEvent open{kCoreEventClass, kAEOpenDocuments, {}};
    for (const QString& path : paths) open.direct_object.push_back({LocalPath(path)});
    DeliverAppleEvent(std::move(open));
  });
  QObject::connect(window, &MenuWindow::quitRequested, window,
                   [this] { DeliverAppleEvent({kCoreEventClass, kAEQuitApplication, {}}); });
  impl_->key_filter = std::make_unique<CommandKeyFilter>(window, [this](const EventRecord& record) {
    PostEvent(record);
    impl_->WakeUp();
  });
  qApp->installEventFilter(impl_->key_filter.get());
}

QtToolbox::~QtToolbox() {
  SaveWindowGeometry();
  qApp->removeEventFilter(impl_->key_filter.get());
  impl_->dialogs.clear();
}

QMainWindow* QtToolbox::MainWindow() const { return impl_->window.get(); }

void QtToolbox::DeliverAppleEvent(AppleEvent event) {
  PostAppleEvent(std::move(event));
  impl_->WakeUp();
}

void QtToolbox::RaiseMainWindow() {
  if (!impl_->window_shown) RestoreWindowGeometry();
  impl_->window_shown = true;
  impl_->window->show();
  impl_->window->raise();
  impl_->window->activateWindow();
}

// ---- Events -------------------------------------------------------------------------

void QtToolbox::PumpEvents(std::uint32_t sleep_ticks) {
  // The main window appears once the application waits for the user: a launch
  // that decodes its files during start-up and ends never flashes it.
  if (sleep_ticks > 0 && impl_->menu_bar_drawn && !impl_->window_shown) RaiseMainWindow();
  QCoreApplication::processEvents();
  if (sleep_ticks == 0 || !QueueEmpty()) return;
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(static_cast<int>(std::max<std::uint32_t>(1, sleep_ticks * 1000 / 60)));
  impl_->waiting = &loop;
  loop.exec();
  impl_->waiting = nullptr;
}

EventModifiers QtToolbox::LiveModifiers() const {
  return ModifiersFromQt(QGuiApplication::queryKeyboardModifiers());
}

// ---- Menus -----------------------------------------------------------------------------

void QtToolbox::PresentMenuInserted(ResID id) { impl_->window->InsertMenu(id); }

void QtToolbox::PresentMenuBar() { impl_->menu_bar_drawn = true; }

void QtToolbox::PresentItemMark(ResID menu, DialogItemIndex item, char mark) {
  if (QAction* action = impl_->window->Action(menu, item)) {
    // An item the form makes checkable keeps its box when unmarked.
    if (!action->isCheckable()) action->setCheckable(mark == kCheckMark);
    action->setChecked(mark == kCheckMark);
  }
}

void QtToolbox::PresentMenuCommandEnabled(MenuCommand command) {
  const char code[] = {static_cast<char>(command >> 24), static_cast<char>(command >> 16),
                       static_cast<char>(command >> 8), static_cast<char>(command), 0};
  for (QAction* action : impl_->window->findChildren<QAction*>()) {
    if (action->property("command").toString() == QLatin1String(code)) action->setEnabled(true);
  }
}

void QtToolbox::PresentHilite(ResID /*id*/) {}  // Qt closes a menu once its item is chosen

bool QtToolbox::MenuItemEnabled(ResID menu, DialogItemIndex item) const {
  QAction* action = impl_->window->Action(menu, item);
  return action && action->isEnabled() && !action->isSeparator() && Toolbox::MenuItemEnabled(menu, item);
}

// ---- Windows ---------------------------------------------------------------------------

void QtToolbox::InitCursor() {
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
}

void QtToolbox::SysBeep(std::int16_t /*duration*/) { QApplication::beep(); }

void QtToolbox::ExitToShell() {
  std::fflush(nullptr);
  std::_Exit(EXIT_SUCCESS);
}

// ---- Open-file chooser -------------------------------------------------------------

OSErr QtToolbox::NavLoad() { return noErr; }
OSErr QtToolbox::NavUnload() { return noErr; }

OSErr QtToolbox::NavChooseFile(const NavDialogOptions& options, const NavTypeList& types, NavReplyRecord& reply) {
  reply = NavReplyRecord{};
  QFileDialog chooser(impl_->window.get(), QCoreApplication::translate("QtToolbox", "Open Encoded File"));
  chooser.setFileMode(options.allow_multiple_files ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  QStringList filters;
  for (OSType type : types.types) {
    // Saved articles come under many names; the types' own globs miss most.
    if (type == kTextFileType) filters << QCoreApplication::translate("QtToolbox", kArticleFilter);
  }
  filters << QCoreApplication::translate("QtToolbox", "All files (*)");
  chooser.setNameFilters(filters);
  return RunChooser(chooser, reply);
}

OSErr QtToolbox::NavChooseFolder(const NavDialogOptions& /*options*/, NavReplyRecord& reply) {
  reply = NavReplyRecord{};
  QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : impl_->window.get();
  QFileDialog chooser(parent, QCoreApplication::translate("QtToolbox", "Choose the Output Folder"));
  chooser.setFileMode(QFileDialog::Directory);
  chooser.setOption(QFileDialog::ShowDirsOnly);
  return RunChooser(chooser, reply);
}

OSErr QtToolbox::RunChooser(QFileDialog& chooser, NavReplyRecord& reply) {
  impl_->chooser = &chooser;
  const bool accepted = chooser.exec() == QDialog::Accepted;
  impl_->chooser = nullptr;
  if (!accepted) return userCanceledErr;
  for (const QString& path : chooser.selectedFiles()) reply.selection.push_back({LocalPath(path)});
  reply.valid_record = !reply.selection.empty();
  return reply.valid_record ? noErr : userCanceledErr;
}

QFileDialog* QtToolbox::OpenChooser() const { return impl_->chooser; }

OSErr QtToolbox::NavDisposeReply(NavReplyRecord& reply) {
  reply = NavReplyRecord{};
  return noErr;
}

// ---- Folders and files -------------------------------------------------------------------

OSErr QtToolbox::FSFindFolder(std::int16_t /*volume*/, OSType folder_type, bool create, FSRef& folder) {
  folder = FSRef{};
  return FindStandardFolder(folder_type, create, folder.path);
}

OSErr QtToolbox::MapFileName(std::string_view file_name, std::string& mime_type) {
  mime_type.clear();
  const QString name = QString::fromUtf8(file_name.data(), static_cast<qsizetype>(file_name.size()));
  const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
  if (!type.isValid() || type.isDefault()) return icPrefNotFoundErr;
  mime_type = type.name().toStdString();
  return noErr;
}

OSErr QtToolbox::SetFileMimeType(const std::string& path, std::string_view mime_type) {
  return WriteMimeTypeAttribute(path, mime_type);
}

}  // namespace vantorelle::toolbox
