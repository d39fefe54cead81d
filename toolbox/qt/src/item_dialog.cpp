// item_dialog.cpp - numbered items, hits and the nested loop of ModalDialog.
#include "item_dialog.hpp"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <utility>

#include "dialog_forms.hpp"

namespace vantorelle::toolbox {

ItemDialog::ItemDialog(const DialogTemplate& layout) : layout_(layout) {
  BuildDialogForm(layout.id, *this);
  setWindowModality(layout.modal ? Qt::ApplicationModal : Qt::NonModal);
  ArrangeButtonBoxes();
  ShowStandardIcons();
  CollectItems();
}

void ItemDialog::ShowStandardIcons() {
  for (QLabel* label : findChildren<QLabel*>()) {
    const QString name = label->property("standardIcon").toString();
    if (name.isEmpty()) continue;
    const QStyle::StandardPixmap icon =
        name == QLatin1String("warning") ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxInformation;
    const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    label->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(extent, extent));
  }
}

namespace {

// The roles a form may give its buttons.
bool ButtonRoleNamed(const QString& name, QDialogButtonBox::ButtonRole& role) {
  static const std::pair<const char*, QDialogButtonBox::ButtonRole> kRoles[] = {
      {"AcceptRole", QDialogButtonBox::AcceptRole},   {"RejectRole", QDialogButtonBox::RejectRole},
      {"DestructiveRole", QDialogButtonBox::DestructiveRole}, {"ActionRole", QDialogButtonBox::ActionRole},
      {"HelpRole", QDialogButtonBox::HelpRole},
  };
  for (const auto& [text, value] : kRoles) {
    if (name == QLatin1String(text)) {
      role = value;
      return true;
    }
  }
  return false;
}

}  // namespace

void ItemDialog::ArrangeButtonBoxes() {
  for (QDialogButtonBox* box : findChildren<QDialogButtonBox*>()) {
    for (QPushButton* button : box->findChildren<QPushButton*>(Qt::FindDirectChildrenOnly)) {
      QDialogButtonBox::ButtonRole role{};
      if (ButtonRoleNamed(button->property("buttonRole").toString(), role)) box->addButton(button, role);
    }
  }
}

void ItemDialog::ShowWithFocus() {
  const bool first_show = !isVisible();
  show();
  if (!first_show) return;
  QWidget* focus = nullptr;
  for (const auto& [number, widget] : items_) {
    if (qobject_cast<QLineEdit*>(widget)) {
      focus = widget;
      break;
    }
  }
  if (!focus) {
    for (const auto& [number, widget] : items_) {
      auto* button = qobject_cast<QPushButton*>(widget);
      if (button && button->isDefault()) focus = button;
    }
  }
  if (focus) focus->setFocus(Qt::OtherFocusReason);
  FitToContents();
}

void ItemDialog::FitToContents() {
  QLayout* box = layout();
  if (!box) return;
  box->activate();
  int width = isVisible() ? this->width() : box->totalSizeHint().width();
  if (const QScreen* shown_on = screen()) width = std::min(width, shown_on->availableGeometry().width());
  width = std::max(width, box->totalMinimumSize().width());
  const int height = box->hasHeightForWidth() ? box->totalHeightForWidth(width) : box->totalSizeHint().height();
  if (width != this->width() || height != this->height()) resize(width, height);
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
  if (!isVisible()) ShowWithFocus();  // a hidden dialog could never be answered
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
