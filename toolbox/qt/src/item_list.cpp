// item_list.cpp - rows of cells with copying by Ctrl+C and the context menu.
#include "item_list.hpp"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace vantorelle::toolbox {
namespace {

QString RowText(const QTreeWidgetItem& row) {
  QStringList cells;
  for (int i = 0; i < row.columnCount(); ++i) cells << row.text(i);
  return cells.join(QLatin1Char('\t'));
}

}  // namespace

ItemList::ItemList(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setAlternatingRowColors(true);
  setTextElideMode(Qt::ElideMiddle);  // the start of a message and the file name stay
  header()->setStretchLastSection(true);
}

void ItemList::AddRow(const QStringList& cells) {
  auto* row = new QTreeWidgetItem(this, cells);  // owned by the list
  for (int i = 0; i < cells.size(); ++i) row->setToolTip(i, cells[i]);
  for (int i = 0; i + 1 < columnCount(); ++i) resizeColumnToContents(i);
  scrollToItem(row);
}

QString ItemList::SelectedText() const {
  QList<QTreeWidgetItem*> rows = selectedItems();
  if (rows.isEmpty()) {
    for (int i = 0; i < topLevelItemCount(); ++i) rows << topLevelItem(i);
  }
  std::sort(rows.begin(), rows.end(), [this](QTreeWidgetItem* a, QTreeWidgetItem* b) {
    return indexOfTopLevelItem(a) < indexOfTopLevelItem(b);
  });
  QStringList lines;
  for (const QTreeWidgetItem* row : rows) lines << RowText(*row);
  return lines.join(QLatin1Char('\n'));
}

void ItemList::CopySelection() const { QApplication::clipboard()->setText(SelectedText()); }

void ItemList::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    event->accept();
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void ItemList::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(tr("&Copy"), QKeySequence::Copy, this, [this] { CopySelection(); });
  menu.addAction(tr("Select &All"), QKeySequence::SelectAll, this, [this] { selectAll(); });
  menu.exec(event->globalPos());
}

}  // namespace vantorelle::toolbox
