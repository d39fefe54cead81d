// main_window.hpp - the small window that carries the menu bar and is the drop area for files.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <map>

#include "vantorelle/toolbox/types.hpp"

class QAction;
class QFrame;
class QMenu;

namespace vantorelle::toolbox {

class MenuWindow : public QMainWindow {
  Q_OBJECT

 public:
  MenuWindow();

  // The menu of resource `id` (inserted in the bar or not), or nullptr.
  QMenu* Menu(ResID id) const;
  // Item `number` of menu `id`, counting separators, or nullptr.
  QAction* Action(ResID id, DialogItemIndex number) const;
  // Appends menu `id` to the menu bar; the application menu, shown as Help,
  // stays last whatever comes after it.
  void InsertMenu(ResID id);

 signals:
  void menuChosen(std::int32_t choice);
  void filesDropped(const QStringList& paths);
  void quitRequested();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void ConnectMenu(ResID id, QMenu* menu);
  void SetUpDropArea();
  // Shows whether a drag over the window would be taken.
  void HighlightDropArea(bool on);
  // The drop area's border in the colours of the palette in force.
  void StyleDropArea();

  std::map<ResID, QMenu*> menus_;
  QFrame* drop_area_ = nullptr;
};

}  // namespace vantorelle::toolbox
