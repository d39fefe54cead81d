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
  // The oldest item hit not yet taken; 0 for none.
  DialogItemIndex TakeHit();
  // Shows the dialog with the keyboard focus on its first edit text, or on
  // its default button when it has none: a stray Space or Return then hits
  // the harmless choice, never a button such as the alert's quit.
  void ShowWithFocus();
  // Gives the window the size its contents need at its present width (never
  // wider than the screen): taller for a longer text, shorter again after.
  void FitToContents();

 signals:
  void hitQueued();

 protected:
  // Escape and the close button hit the cancel item; the dialog stays open
  // until the shell disposes of it.
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CollectItems();
  // Before the first show: centred on the main window (or the screen), and
  // wholly on the screen, title bar included, whatever the window manager does.
  void PlaceCentred();
  // Moves the item buttons that the form places in a QDialogButtonBox into it
  // with the role their "buttonRole" property names, so the platform orders them.
  void ArrangeButtonBoxes();
  // Gives labels with a "standardIcon" property ("warning", "information")
  // the style's icon of that name.
  void ShowStandardIcons();
  void Hit(DialogItemIndex number);

  const DialogTemplate& layout_;
  std::map<DialogItemIndex, QWidget*> items_;
  std::deque<DialogItemIndex> hits_;
  bool placed_ = false;
};

}  // namespace vantorelle::toolbox
