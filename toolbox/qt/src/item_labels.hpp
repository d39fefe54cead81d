// item_labels.hpp - static text items that never widen their window: one elides, one wraps anywhere.
//
// Texts from the run are paths and messages with paths in them, often one
// long word. A plain QLabel asks for the width of its longest word and pushes
// the window off the screen. These labels keep the width the form gives them
// and keep text() the whole text, so GetDialogItemText reads what was set.
#pragma once

#include <QLabel>

class QTextLayout;

namespace vantorelle::toolbox {

// Both offer the whole text through a Copy item in their context menu, as
// they paint it themselves and cannot be selected.
void AddCopyAction(QLabel& label);

// One line; a text that does not fit loses its middle to "…" (the start and
// the file name at the end stay). The whole text is its tooltip then.
class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // What is painted at the present width.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// Wraps at word boundaries, and inside a word that is wider than the line.
class WrappedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit WrappedLabel(QWidget* parent = nullptr);
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // Lines the text takes at the present width.
  int lineCount() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Lays the text out for a text width of `width`; returns its height.
  int LayOut(QTextLayout& layout, int width) const;
  int TextWidth(int widget_width) const;
};

}  // namespace vantorelle::toolbox
