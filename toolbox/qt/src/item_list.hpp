// item_list.hpp - a dialog's list item: rows of cells that the user can select and copy.
#pragma once

#include <QTreeWidget>

namespace vantorelle::toolbox {

class ItemList : public QTreeWidget {
  Q_OBJECT

 public:
  explicit ItemList(QWidget* parent = nullptr);
  // Appends a row and keeps the newest row in view.
  void AddRow(const QStringList& cells);
  // The selected rows (all rows when none is selected), cells joined by tabs.
  QString SelectedText() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CopySelection() const;
};

}  // namespace vantorelle::toolbox
