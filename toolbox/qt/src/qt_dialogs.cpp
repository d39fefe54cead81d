// qt_dialogs.cpp - the Qt backend's dialogs: items by number, texts, controls, modal loop.
#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>

#include "item_list.hpp"
#include "qt_toolbox_impl.hpp"

namespace vantorelle::toolbox {
namespace {

// The value a progress bar keeps while it is indeterminate (range 0 to 0).
constexpr char kBarValue[] = "vantorelleValue";
constexpr int kBarMaximum = 100;
// The shortest time between two paints by QDFlushPortBuffer, and between two
// turns of IdleControls.
constexpr std::chrono::milliseconds kRedrawInterval{40};

QString FromBytes(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A button title shows '&' as a mnemonic marker; dialog texts mean the character.
QString EscapeMnemonic(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

QString StripMnemonic(const QString& text) {
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
    plain += text[i];
  }
  return plain;
}

int StoredBarValue(const QProgressBar& bar) {
  const QVariant stored = bar.property(kBarValue);
  return stored.isValid() ? stored.toInt() : bar.value();
}

}  // namespace

QDialog* QtToolbox::DialogWindow(DialogRef dialog) const { return impl_->Find(dialog); }

QWidget* QtToolbox::ItemWidget(DialogRef dialog, DialogItemIndex item) const {
  ItemDialog* window = impl_->Find(dialog);
  return window ? window->Item(item) : nullptr;
}

DialogRef QtToolbox::GetNewDialog(ResID id) {
  const DialogTemplate* layout = FindDialogTemplate(id);
  if (!layout) return DialogRef{};
  const DialogRef ref{impl_->next_serial++};
  impl_->dialogs.emplace(ref.serial, std::make_unique<ItemDialog>(*layout));
  return ref;
}

void QtToolbox::ShowWindow(DialogRef dialog) {
  if (ItemDialog* window = impl_->Find(dialog)) {
    window->ShowWithFocus();
    window->raise();
    window->activateWindow();
  }
}

void QtToolbox::DisposeDialog(DialogRef dialog) {
  if (impl_->port == dialog) impl_->port = DialogRef{};
  impl_->dialogs.erase(dialog.serial);
  impl_->flushed.erase(dialog.serial);
  impl_->idled.erase(dialog.serial);
}

DialogRef QtToolbox::GetPort() const { return impl_->port; }

void QtToolbox::SetPort(DialogRef dialog) { impl_->port = impl_->Find(dialog) ? dialog : DialogRef{}; }

DialogItemIndex QtToolbox::ModalDialog(DialogRef dialog) {
  ItemDialog* window = impl_->Find(dialog);
  return window ? window->WaitForHit() : 0;
}

bool QtToolbox::IsDialogEvent(const EventRecord& /*event*/) const { return false; }

bool QtToolbox::DialogSelect(const EventRecord& /*event*/, DialogRef& dialog, DialogItemIndex& item) {
  // Qt hands clicks and keys to the dialog widgets directly.
  dialog = DialogRef{};
  item = 0;
  return false;
}

void QtToolbox::SetDialogItemText(DialogRef dialog, DialogItemIndex item, std::string_view text) {
  QWidget* widget = ItemWidget(dialog, item);
  const QString shown = FromBytes(LimitItemText(text));
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    // A run sets the same status again and again; fitting the window is not free.
    if (label->text() == shown) return;
    label->setText(shown);
    if (auto* window = qobject_cast<ItemDialog*>(label->window())) window->FitToContents();
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(shown);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(EscapeMnemonic(shown));
  }
}

std::string QtToolbox::GetDialogItemText(DialogRef dialog, DialogItemIndex item) const {
  QWidget* widget = ItemWidget(dialog, item);
  QString text;
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    text = label->text();
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    text = edit->text();
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    text = StripMnemonic(button->text());
  }
  return LimitItemText(text.toUtf8().toStdString());
}

std::int16_t QtToolbox::GetControlValue(DialogRef dialog, DialogItemIndex item) const {
  QWidget* widget = ItemWidget(dialog, item);
  if (auto* box = qobject_cast<QCheckBox*>(widget)) return box->isChecked() ? 1 : 0;
  if (auto* bar = qobject_cast<QProgressBar*>(widget)) return static_cast<std::int16_t>(StoredBarValue(*bar));
  return 0;
}

void QtToolbox::SetControlValue(DialogRef dialog, DialogItemIndex item, std::int16_t value) {
  QWidget* widget = ItemWidget(dialog, item);
  if (auto* box = qobject_cast<QCheckBox*>(widget)) {
    box->setChecked(value > 0);
  } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
    const int clamped = std::clamp<int>(value, 0, kBarMaximum);
    bar->setProperty(kBarValue, clamped);
    if (bar->maximum() != 0) bar->setValue(clamped);
  }
}

OSErr QtToolbox::SetControlData(DialogRef dialog, DialogItemIndex item, ControlPartCode /*part*/, ResType tag,
                                bool value) {
  QWidget* widget = ItemWidget(dialog, item);
  if (!widget) return errUnknownControl;
  auto* button = qobject_cast<QPushButton*>(widget);
  if (tag == kControlPushButtonDefaultTag && button) {
    button->setDefault(value);
    return noErr;
  }
  auto* bar = qobject_cast<QProgressBar*>(widget);
  if (tag == kControlProgressBarIndeterminateTag && bar) {
    const int stored = StoredBarValue(*bar);
    bar->setProperty(kBarValue, stored);
    bar->setRange(0, value ? 0 : kBarMaximum);
    if (!value) bar->setValue(stored);
    return noErr;
  }
  return errDataNotSupported;
}

void QtToolbox::IdleControls(DialogRef dialog) {
  // Timers and painting only: the indeterminate bar moves, clicks wait. As
  // often as the eye and the window manager need, not at every step of a run.
  if (impl_->Find(dialog) && Impl::Due(impl_->idled, dialog, kRedrawInterval))
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

DialogItemIndex QtToolbox::TakeDialogHit(DialogRef dialog) {
  ItemDialog* window = impl_->Find(dialog);
  if (!window) return 0;
  // Clicks and keys too, unlike a flush: the dialog's own become hits, those
  // meant for the main window (menus, drops, closing) become queued events.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return window->TakeHit();
}

void QtToolbox::ShowDialogItem(DialogRef dialog, DialogItemIndex item) {
  if (QWidget* widget = ItemWidget(dialog, item)) widget->setVisible(true);
}

void QtToolbox::HideDialogItem(DialogRef dialog, DialogItemIndex item) {
  if (QWidget* widget = ItemWidget(dialog, item)) widget->setVisible(false);
}

void QtToolbox::AddListRow(DialogRef dialog, DialogItemIndex item, const std::vector<std::string>& cells) {
  auto* list = qobject_cast<ItemList*>(ItemWidget(dialog, item));
  if (!list) return;
  QStringList shown;
  for (const std::string& cell : cells) shown << FromBytes(LimitItemText(cell));
  list->AddRow(shown);
}

void QtToolbox::ClearList(DialogRef dialog, DialogItemIndex item) {
  if (auto* list = qobject_cast<ItemList*>(ItemWidget(dialog, item))) list->clear();
}

std::vector<std::vector<std::string>> QtToolbox::ListRows(DialogRef dialog, DialogItemIndex item) const {
  std::vector<std::vector<std::string>> rows;
  auto* list = qobject_cast<ItemList*>(ItemWidget(dialog, item));
  if (!list) return rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* row = list->topLevelItem(i);
    std::vector<std::string>& cells = rows.emplace_back();
    for (int c = 0; c < row->columnCount(); ++c) cells.push_back(row->text(c).toUtf8().toStdString());
  }
  return rows;
}

void QtToolbox::SetWTitle(DialogRef dialog, std::string_view title) {
  if (ItemDialog* window = impl_->Find(dialog)) window->setWindowTitle(FromBytes(title));
}

void QtToolbox::QDFlushPortBuffer(DialogRef dialog) {
  ItemDialog* window = impl_->Find(dialog);
  // A run flushes far more often than anyone can read; painting every time
  // would slow the decoding down. What a skipped flush set shows at the next.
  // The run keeps the event loop blocked: let the window system's requests
  // (exposure, the window manager's ping) through, but no clicks or keys.
  if (!window || !Impl::Due(impl_->flushed, dialog, kRedrawInterval)) return;
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  window->repaint();
}

}  // namespace vantorelle::toolbox
