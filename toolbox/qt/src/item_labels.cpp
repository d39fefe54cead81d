// item_labels.cpp - the eliding and the wrapping static text items.
#include "item_labels.hpp"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace vantorelle::toolbox {
namespace {

// Width a label asks for when its form gives no minimum width, in average characters.
constexpr int kDefaultWidthInCharacters = 40;
// The narrowest a label lets a user shrink it to, in average characters.
constexpr int kMinimumWidthInCharacters = 12;

int PreferredWidth(const QLabel& label) {
  const int margins = label.contentsMargins().left() + label.contentsMargins().right() + 2 * label.margin();
  return std::max(label.minimumWidth(), label.fontMetrics().averageCharWidth() * kDefaultWidthInCharacters + margins);
}

int LeastWidth(const QLabel& label) {
  return std::max(label.minimumWidth(), label.fontMetrics().averageCharWidth() * kMinimumWidthInCharacters);
}

int VerticalExtra(const QLabel& label) {
  return label.contentsMargins().top() + label.contentsMargins().bottom() + 2 * label.margin();
}

}  // namespace

void AddCopyAction(QLabel& label) {
  auto* copy = new QAction(QLabel::tr("&Copy"), &label);
  QObject::connect(copy, &QAction::triggered, &label, [&label] { QGuiApplication::clipboard()->setText(label.text()); });
  label.addAction(copy);
  label.setContextMenuPolicy(Qt::ActionsContextMenu);
}

// ---- ElidedLabel ---------------------------------------------------------------------

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) { AddCopyAction(*this); }

QSize ElidedLabel::sizeHint() const {
  return {PreferredWidth(*this), fontMetrics().height() + VerticalExtra(*this)};
}

QSize ElidedLabel::minimumSizeHint() const {
  return {LeastWidth(*this), fontMetrics().height() + VerticalExtra(*this)};
}

QString ElidedLabel::shownText() const {
  const int width = contentsRect().width() - 2 * margin();
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, std::max(0, width));
}

void ElidedLabel::paintEvent(QPaintEvent* /*event*/) {
  const QString shown = shownText();
  const QString tip = shown == text() ? QString() : text();
  if (toolTip() != tip) setToolTip(tip);
  QPainter painter(this);
  const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
  style()->drawItemText(&painter, area, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                        foregroundRole());
}

// ---- WrappedLabel ----------------------------------------------------------------------

WrappedLabel::WrappedLabel(QWidget* parent) : QLabel(parent) { AddCopyAction(*this); }

int WrappedLabel::TextWidth(int widget_width) const {
  return std::max(1, widget_width - contentsMargins().left() - contentsMargins().right() - 2 * margin());
}

int WrappedLabel::LayOut(QTextLayout& layout, int width) const {
  QString shown = text();
  shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
  layout.setText(shown);
  layout.setFont(font());
  QTextOption option(alignment());
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  const qreal leading = fontMetrics().leading();
  qreal height = 0;
  layout.beginLayout();
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    height += leading;
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();
  return std::max(fontMetrics().height(), static_cast<int>(std::ceil(height)));
}

int WrappedLabel::heightForWidth(int width) const {
  QTextLayout layout;
  return LayOut(layout, TextWidth(width)) + VerticalExtra(*this);
}

QSize WrappedLabel::sizeHint() const {
  const int width = PreferredWidth(*this);
  return {width, heightForWidth(width)};
}

QSize WrappedLabel::minimumSizeHint() const {
  return {LeastWidth(*this), fontMetrics().height() + VerticalExtra(*this)};
}

int WrappedLabel::lineCount() const {
  QTextLayout layout;
  LayOut(layout, TextWidth(width()));
  return layout.lineCount();
}

void WrappedLabel::paintEvent(QPaintEvent* /*event*/) {
  QTextLayout layout;
  LayOut(layout, TextWidth(width()));
  QPainter painter(this);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  const QRect area = contentsRect();
  layout.draw(&painter, QPointF(area.left() + margin(), area.top() + margin()));
}

}  // namespace vantorelle::toolbox
