// item_dialog.cpp - numbered items, hits and the nested loop of ModalDialog.
#include "item_dialog.hpp"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QRegularExpression>

#include "dialog_forms.hpp"

namespace vantorelle::toolbox {

ItemDialog::ItemDialog(const DialogTemplate& layout) : layout_(layout) {
  BuildDialogForm(layout.id, *this);
  setWindowModality(layout.modal ? Qt::ApplicationModal : Qt::NonModal);
  CollectItems();
}

void ItemDialog::CollectItems() {
  static const QRegularExpression kName(QStringLiteral("^dlg(\\d+)_item(\\d+)$"));
  for (QWidget* widget : findChildren<QWidget*>()) {
    const QRegularExpressionMatch match = kName.match(widget->objectName());
    if (!match.hasMatch() || match.captured(1).toInt() != layout_.id) continue;
    const auto number = static_cast<DialogItemIndex>(match.captured(2).toInt());
    items_[number] = widget;
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setTextFormat(Qt::PlainText);
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
      connect(button, &QAbstractButton::clicked, this, [this, number] { Hit(number); });
  }
}

QWidget* ItemDialog::Item(DialogItemIndex number) const {
  auto it = items_.find(number);
  return it == items_.end() ? nullptr : it->second;
}

void ItemDialog::Hit(DialogItemIndex number) {
  hits_.push_back(number);
  emit hitQueued();
}

DialogItemIndex ItemDialog::WaitForHit() {
  if (!isVisible()) show();  // a hidden dialog could never be answered
  while (hits_.empty()) {
    QEventLoop loop;
    connect(this, &ItemDialog::hitQueued, &loop, &QEventLoop::quit);
    loop.exec();
  }
  const DialogItemIndex hit = hits_.front();
  hits_.pop_front();
  return hit;
}

void ItemDialog::reject() {
  if (layout_.cancel_item != 0) Hit(layout_.cancel_item);
}

void ItemDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

}  // namespace vantorelle::toolbox
