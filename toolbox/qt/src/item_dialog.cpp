// item_dialog.cpp - numbered items, hits and the nested loop of ModalDialog.
#include "item_dialog.hpp"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QApplication>
#include <QGuiApplication>
#include <QTreeWidget>
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
      // The box shows what it takes; a button the form hides stays hidden.
      const bool hidden = button->isHidden();
      if (ButtonRoleNamed(button->property("buttonRole").toString(), role)) box->addButton(button, role);
      if (hidden) button->hide();
    }
  }
}

void ItemDialog::PlaceCentred() {
  QWidget* over = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (qobject_cast<QMainWindow*>(top) && top->isVisible()) over = top;
  }
  const QScreen* shown_on = over ? over->screen() : QGuiApplication::primaryScreen();
  if (!shown_on) return;
  const QRect room = shown_on->availableGeometry();
  const QRect centre_of = over ? over->frameGeometry() : room;
  if (QLayout* box = layout()) box->activate();
  const QSize size = sizeHint().expandedTo(minimumSizeHint()).boundedTo(room.size());
  QRect placed(QPoint(0, 0), size);
  placed.moveCenter(centre_of.center());
  // The frame adds a title bar above: keep room for it at the top.
  const int title_room = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  placed.moveLeft(std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - size.width())));
  placed.moveTop(std::clamp(placed.top(), room.top() + title_room,
                            std::max(room.top() + title_room, room.bottom() - size.height())));
  move(placed.topLeft());
}

void ItemDialog::ShowWithFocus() {
  const bool first_show = !isVisible();
  if (first_show && !placed_) {
    PlaceCentred();
    placed_ = true;
  }
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
    // A list's column titles come from the form as one "|"-separated text.
    if (auto* list = qobject_cast<QTreeWidget*>(widget); list && list->property("columns").isValid())
      list->setHeaderLabels(list->property("columns").toString().split(QLatin1Char('|')));
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

DialogItemIndex ItemDialog::TakeHit() {
  if (hits_.empty()) return 0;
  const DialogItemIndex hit = hits_.front();
  hits_.pop_front();
  return hit;
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
