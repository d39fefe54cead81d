// main_window.cpp - menus from the main window form, drops and closing.
#include "main_window.hpp"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include "ui_main_window.h"
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
  if (QMenu* menu = Menu(id)) menuBar()->addMenu(menu);
}

void MenuWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MenuWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (!LocalFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MenuWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = LocalFiles(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  emit filesDropped(paths);
}

void MenuWindow::closeEvent(QCloseEvent* event) {
  // Closing is a request to quit; the shell ends the program in its own time.
  event->ignore();
  emit quitRequested();
}

}  // namespace vantorelle::toolbox
