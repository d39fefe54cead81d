// item_dialog.hpp - a dialog whose numbered items report hits instead of closing it.
#pragma once

#include <QDialog>
#include <deque>
#include <map>

#include "vantorelle/toolbox/resources.hpp"

class QCloseEvent;

namespace vantorelle::toolbox {

class ItemDialog : public QDialog {
  Q_OBJECT

 public:
  // Builds the dialog of `layout` from its form; modal dialogs block the other windows.
  explicit ItemDialog(const DialogTemplate& layout);

  const DialogTemplate& resource() const { return layout_; }
  // The widget of item `number`, or nullptr when the form lacks it.
  QWidget* Item(DialogItemIndex number) const;
  // The next item hit, waiting in a nested event loop until there is one.
  DialogItemIndex WaitForHit();

 signals:
  void hitQueued();

 protected:
  // Escape and the close button hit the cancel item; the dialog stays open
  // until the shell disposes of it.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CollectItems();
  void Hit(DialogItemIndex number);

  const DialogTemplate& layout_;
  std::map<DialogItemIndex, QWidget*> items_;
  std::deque<DialogItemIndex> hits_;
};

}  // namespace vantorelle::toolbox
