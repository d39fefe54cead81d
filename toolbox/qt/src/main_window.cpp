// main_window.cpp - menus from the main window form, the drop area, drops and closing.
#include "main_window.hpp"

#include <QCloseEvent>
#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

#include "ui_main_window.h"
#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/resources.hpp"

namespace vantorelle::toolbox {
namespace {

QStringList LocalFiles(const QMimeData* data) {
  QStringList paths;
  if (!data || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile());
  }
  return paths;
}

constexpr int kDropIconSize = 64;
constexpr char kDropAreaStyle[] =
    "QFrame#dropArea { border: 2px dashed %1; border-radius: 12px; }"
    "QFrame#dropArea[dragActive=\"true\"] { border-color: palette(highlight);"
    " background: palette(alternate-base); }";
// How far the border goes from the window's colour towards the text's: the
// palette's own "mid" all but vanishes on a dark window.
constexpr double kBorderContrast = 0.45;

QColor Blend(const QColor& from, const QColor& to, double share) {
  return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * share),
                          static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * share),
                          static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * share));
}

}  // namespace

MenuWindow::MenuWindow() {
  Ui::MainWindow form;
  form.setupUi(this);
  setAcceptDrops(true);
  // Menus join the bar only through InsertMenu, in the order the shell asks.
  menuBar()->clear();
  for (const MenuTemplate& layout : MenuTemplates()) {
    auto* menu = findChild<QMenu*>(QStringLiteral("menu%1").arg(layout.id));
    if (!menu) continue;
    menus_[layout.id] = menu;
    ConnectMenu(layout.id, menu);
  }
  setWindowIcon(ApplicationIcon());
  SetUpDropArea();
}

void MenuWindow::SetUpDropArea() {
  drop_area_ = findChild<QFrame*>(QStringLiteral("dropArea"));
  StyleDropArea();
  auto* icon = findChild<QLabel*>(QStringLiteral("dropIcon"));
  icon->setPixmap(windowIcon().pixmap(kDropIconSize));
  auto* label = findChild<QLabel*>(QStringLiteral("dropLabel"));
  QFont large = label->font();
  large.setPointSizeF(large.pointSizeF() * 1.4);
  large.setBold(true);
  label->setFont(large);
  // The button is the open-file menu item, so both go the same way.
  auto* open = findChild<QPushButton*>(QStringLiteral("openButton"));
  connect(open, &QPushButton::clicked, this, [this] {
    if (QAction* item = Action(kFileMenuID, 1); item && item->isEnabled()) item->trigger();
  });
}

void MenuWindow::StyleDropArea() {
  const QColor border =
      Blend(palette().color(QPalette::Window), palette().color(QPalette::WindowText), kBorderContrast);
  drop_area_->setStyleSheet(QLatin1String(kDropAreaStyle).arg(border.name()));
  auto* hint = findChild<QLabel*>(QStringLiteral("dropHint"));
  QPalette quiet = palette();
  quiet.setColor(QPalette::WindowText, quiet.color(QPalette::PlaceholderText));
  hint->setPalette(quiet);
}

void MenuWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::PaletteChange && drop_area_) StyleDropArea();
}

void MenuWindow::HighlightDropArea(bool on) {
  if (drop_area_->property("dragActive").toBool() == on) return;
  drop_area_->setProperty("dragActive", on);
  drop_area_->style()->unpolish(drop_area_);
  drop_area_->style()->polish(drop_area_);
  drop_area_->update();
}

void MenuWindow::ConnectMenu(ResID id, QMenu* menu) {
  const QList<QAction*> actions = menu->actions();
  for (int i = 0; i < actions.size(); ++i) {
    QAction* action = actions[i];
    const auto number = static_cast<DialogItemIndex>(i + 1);
    // Command keys reach the shell as key-down events; the shortcut is only shown.
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, this, [this, action, id, number] {
      // The mark belongs to the shell: undo Qt's own toggle of a checkable item.
      if (action->isCheckable()) action->setChecked(!action->isChecked());
      emit menuChosen(MenuChoice(id, number));
    });
  }
}

QMenu* MenuWindow::Menu(ResID id) const {
  auto it = menus_.find(id);
  return it == menus_.end() ? nullptr : it->second;
}

QAction* MenuWindow::Action(ResID id, DialogItemIndex number) const {
  QMenu* menu = Menu(id);
  if (!menu || number < 1) return nullptr;
  const QList<QAction*> actions = menu->actions();
  return number <= actions.size() ? actions[number - 1] : nullptr;
}

void MenuWindow::InsertMenu(ResID id) {
  QMenu* menu = Menu(id);
  if (!menu) return;
  QMenu* help = Menu(kApplicationMenuID);
  const bool help_shown = id != kApplicationMenuID && help && menuBar()->actions().contains(help->menuAction());
  if (help_shown) {
    menuBar()->insertMenu(help->menuAction(), menu);
  } else {
    menuBar()->addMenu(menu);
  }
}

void MenuWindow::dragEnterEvent(QDragEnterEvent* event) {
  const bool files = !LocalFiles(event->mimeData()).isEmpty();
  // Copy whatever the keys held would make of the drag: they choose the
  // options of the run, not what happens to the files.
  if (files) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  }
  HighlightDropArea(files);
}

void MenuWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  }
}

void MenuWindow::dragLeaveEvent(QDragLeaveEvent* /*event*/) { HighlightDropArea(false); }

void MenuWindow::dropEvent(QDropEvent* event) {
  HighlightDropArea(false);
  const QStringList paths = LocalFiles(event->mimeData());
  if (paths.isEmpty()) return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  emit filesDropped(paths);
}

void MenuWindow::closeEvent(QCloseEvent* event) {
  // Closing is a request to quit; the shell ends the program in its own time.
  event->ignore();
  emit quitRequested();
}

}  // namespace vantorelle::toolbox
