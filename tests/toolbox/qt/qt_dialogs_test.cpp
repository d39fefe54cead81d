// qt_dialogs_test.cpp - every dialog loads from its form with its numbered items, and behaves as the shell needs.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <set>

#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

bool HasKind(QWidget* widget, ItemKind kind) {
  switch (kind) {
    case ItemKind::kButton:
      return qobject_cast<QPushButton*>(widget) != nullptr;
    case ItemKind::kCheckBox:
      return qobject_cast<QCheckBox*>(widget) != nullptr;
    case ItemKind::kEditText:
      return qobject_cast<QLineEdit*>(widget) != nullptr;
    case ItemKind::kStaticText:
      return qobject_cast<QLabel*>(widget) != nullptr;
    case ItemKind::kProgressBar:
      return qobject_cast<QProgressBar*>(widget) != nullptr;
    case ItemKind::kList:
      return qobject_cast<QTreeWidget*>(widget) != nullptr;
  }
  return false;
}

// Clicks near the left edge, where a check box has its box and a button its face.
void Click(QWidget* widget) {
  QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(6, widget->height() / 2));
}

// Clicks an item once the nested loop of ModalDialog runs.
void ClickSoon(QtToolbox& tb, DialogRef d, DialogItemIndex item) {
  QTimer::singleShot(0, [&tb, d, item] { Click(tb.ItemWidget(d, item)); });
}

class QtDialogs : public ::testing::Test {
 protected:
  QtToolbox tb;
};

TEST_F(QtDialogs, EveryDialogLoadsByIdWithExactlyItsNumberedItems) {
  static const QRegularExpression kItemName(QStringLiteral("^dlg(\\d+)_item(\\d+)$"));
  for (const DialogTemplate& layout : DialogTemplates()) {
    SCOPED_TRACE(layout.id);
    const DialogRef d = tb.GetNewDialog(layout.id);
    ASSERT_TRUE(d);
    for (const DialogItemTemplate& item : layout.items) {
      QWidget* widget = tb.ItemWidget(d, item.number);
      ASSERT_NE(widget, nullptr) << "item " << item.number;
      EXPECT_TRUE(HasKind(widget, item.kind)) << "item " << item.number;
      EXPECT_EQ(widget->objectName(), QStringLiteral("dlg%1_item%2").arg(layout.id).arg(item.number));
    }
    std::set<int> numbered;
    for (QWidget* widget : tb.DialogWindow(d)->findChildren<QWidget*>()) {
      const auto match = kItemName.match(widget->objectName());
      if (!match.hasMatch()) continue;
      EXPECT_EQ(match.captured(1).toInt(), layout.id) << widget->objectName().toStdString();
      numbered.insert(match.captured(2).toInt());
    }
    EXPECT_EQ(numbered.size(), layout.items.size());
    EXPECT_FALSE(tb.DialogWindow(d)->windowTitle().isEmpty());
    tb.DisposeDialog(d);
    EXPECT_EQ(tb.DialogWindow(d), nullptr);
  }
  EXPECT_FALSE(tb.GetNewDialog(999));
}

// Buttons sit in a button box (platform order) with a mnemonic; every field
// has a label that names it to the keyboard and to assistive technology.
TEST_F(QtDialogs, FormsUseButtonBoxesMnemonicsAndNamedFields) {
  static const QRegularExpression kMnemonic(QStringLiteral("&[^&\\s]"));
  for (const DialogTemplate& layout : DialogTemplates()) {
    SCOPED_TRACE(layout.id);
    const DialogRef d = tb.GetNewDialog(layout.id);
    QDialog* window = tb.DialogWindow(d);
    const auto labels = window->findChildren<QLabel*>();
    for (const DialogItemTemplate& item : layout.items) {
      SCOPED_TRACE(item.number);
      QWidget* widget = tb.ItemWidget(d, item.number);
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        auto* box = qobject_cast<QDialogButtonBox*>(button->parentWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_NE(box->buttonRole(button), QDialogButtonBox::InvalidRole);
        EXPECT_TRUE(kMnemonic.match(button->text()).hasMatch()) << button->text().toStdString();
      }
      if (qobject_cast<QLineEdit*>(widget)) {
        const bool labelled = std::any_of(labels.begin(), labels.end(), [widget](QLabel* label) {
          return label->buddy() == widget && kMnemonic.match(label->text()).hasMatch();
        });
        EXPECT_TRUE(labelled);
      }
      auto* label = qobject_cast<QLabel*>(widget);
      if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QProgressBar*>(widget) || (label && label->text().isEmpty())) {
        EXPECT_FALSE(widget->accessibleName().isEmpty());
      }
    }
    if (const char* folder = std::getenv("VANTORELLE_SCREENSHOTS")) {
      tb.ShowWindow(d);
      window->grab().save(QStringLiteral("%1/dialog-%2.png").arg(QString::fromUtf8(folder)).arg(layout.id));
    }
    tb.DisposeDialog(d);
  }
}

TEST_F(QtDialogs, DialogsOpenWithTheFocusOnTheirFieldOrDefaultButton) {
  const std::pair<ResID, DialogItemIndex> cases[] = {
      {kAlertDialogID, 1}, {kFileNameDialogID, 3}, {kDirectoryDialogID, 3}, {kLengthDialogID, 3}, {kAboutDialogID, 1}};
  for (const auto& [id, item] : cases) {
    SCOPED_TRACE(id);
    const DialogRef d = tb.GetNewDialog(id);
    tb.ShowWindow(d);
    EXPECT_EQ(tb.DialogWindow(d)->focusWidget(), tb.ItemWidget(d, item));
    tb.DisposeDialog(d);
  }
  const DialogRef alert = tb.GetNewDialog(kAlertDialogID);
  EXPECT_FALSE(qobject_cast<QPushButton*>(tb.ItemWidget(alert, 2))->autoDefault());
}

TEST_F(QtDialogs, ModalDialogReturnsTheItemClicked) {
  for (DialogItemIndex item : {1, 2}) {
    const DialogRef d = tb.GetNewDialog(kDirectoryDialogID);
    tb.ShowWindow(d);
    ClickSoon(tb, d, item);
    EXPECT_EQ(tb.ModalDialog(d), item);
    tb.DisposeDialog(d);
  }
}

TEST_F(QtDialogs, ACheckBoxIsNotFlippedByItsClick) {
  const DialogRef d = tb.GetNewDialog(kPreferencesDialogID);
  tb.SetControlValue(d, 6, 1);
  tb.ShowWindow(d);
  ClickSoon(tb, d, 5);
  EXPECT_EQ(tb.ModalDialog(d), 5);
  ClickSoon(tb, d, 6);
  EXPECT_EQ(tb.ModalDialog(d), 6);
  EXPECT_EQ(tb.GetControlValue(d, 5), 0);
  EXPECT_EQ(tb.GetControlValue(d, 6), 1);
}

TEST_F(QtDialogs, EscapeHitsCancelButNeverTheAlertsQuitButton) {
  const DialogRef prefs = tb.GetNewDialog(kPreferencesDialogID);
  tb.ShowWindow(prefs);
  QTimer::singleShot(0, [&] { QTest::keyClick(tb.DialogWindow(prefs), Qt::Key_Escape); });
  EXPECT_EQ(tb.ModalDialog(prefs), 2);
  EXPECT_TRUE(tb.DialogWindow(prefs)->isVisible()) << "only the shell closes a dialog";

  const DialogRef alert = tb.GetNewDialog(kAlertDialogID);
  tb.ShowWindow(alert);
  QTimer::singleShot(0, [&] {
    QTest::keyClick(tb.DialogWindow(alert), Qt::Key_Escape);
    tb.DialogWindow(alert)->close();
    Click(tb.ItemWidget(alert, 1));
  });
  EXPECT_EQ(tb.ModalDialog(alert), 1);
}

TEST_F(QtDialogs, ItemTextsRoundTripAndAreCutAt255Bytes) {
  const DialogRef d = tb.GetNewDialog(kFileNameDialogID);
  struct Case {
    DialogItemIndex item;
    std::string text;
    std::string expected;
  };
  const std::string long_text(300, 'n');
  const Case cases[] = {
      {4, "/d/previous-(0).jpg", "/d/previous-(0).jpg"},
      {3, "Grüße <b>€</b>", "Grüße <b>€</b>"},
      {3, long_text, long_text.substr(0, 255)},
      {4, long_text, long_text.substr(0, 255)},
      {9, "Keep & Go", "Keep & Go"},
  };
  for (const Case& c : cases) {
    tb.SetDialogItemText(d, c.item, c.text);
    EXPECT_EQ(tb.GetDialogItemText(d, c.item), c.expected) << "item " << c.item;
  }
  EXPECT_EQ(qobject_cast<QLabel*>(tb.ItemWidget(d, 4))->textFormat(), Qt::PlainText);
}

TEST_F(QtDialogs, TextTypedByTheUserIsReadBackCut) {
  const DialogRef d = tb.GetNewDialog(kLengthDialogID);
  tb.ShowWindow(d);
  tb.SetDialogItemText(d, 3, "16");
  auto* edit = qobject_cast<QLineEdit*>(tb.ItemWidget(d, 3));
  edit->clear();
  QTest::keyClicks(edit, "12");
  EXPECT_EQ(tb.GetDialogItemText(d, 3), "12");
  edit->setText(QString(400, QLatin1Char('z')));
  EXPECT_EQ(tb.GetDialogItemText(d, 3).size(), 255u);
}

TEST_F(QtDialogs, ProgressBarSpans0To100AndKeepsItsValueWhileIndeterminate) {
  const DialogRef d = tb.GetNewDialog(kProgressDialogID);
  auto* bar = qobject_cast<QProgressBar*>(tb.ItemWidget(d, 5));
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  tb.SetControlValue(d, 5, 50);
  EXPECT_EQ(bar->value(), 50);
  EXPECT_EQ(tb.SetControlData(d, 5, 0, kControlProgressBarIndeterminateTag, true), noErr);
  EXPECT_EQ(bar->maximum(), 0);
  EXPECT_EQ(tb.GetControlValue(d, 5), 50);
  tb.SetControlValue(d, 5, 70);
  EXPECT_EQ(tb.SetControlData(d, 5, 0, kControlProgressBarIndeterminateTag, false), noErr);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 70);
  tb.SetControlValue(d, 5, 150);
  EXPECT_EQ(tb.GetControlValue(d, 5), 100);
  EXPECT_EQ(tb.SetControlData(d, 2, 0, kControlProgressBarIndeterminateTag, true), errDataNotSupported);
}

TEST_F(QtDialogs, DefaultTagMakesTheDefaultButton) {
  const DialogRef d = tb.GetNewDialog(kFileNameDialogID);
  auto* button = qobject_cast<QPushButton*>(tb.ItemWidget(d, 9));
  EXPECT_EQ(tb.SetControlData(d, 9, 0, kControlPushButtonDefaultTag, true), noErr);
  EXPECT_TRUE(button->isDefault());
  EXPECT_EQ(tb.SetControlData(d, 3, 0, kControlPushButtonDefaultTag, true), errDataNotSupported);
}

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST_F(QtDialogs, AFlushPaintsNewTextWithoutTheEventLoop) {
  const DialogRef d = tb.GetNewDialog(kProgressDialogID);
  tb.ShowWindow(d);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tb.DialogWindow(d)));
  PaintCounter counter;
  tb.ItemWidget(d, 2)->installEventFilter(&counter);
  tb.SetDialogItemText(d, 2, "Scanning: a.txt");
  EXPECT_EQ(counter.paints, 0);
  tb.QDFlushPortBuffer(d);
  EXPECT_GT(counter.paints, 0);
  tb.SetWTitle(d, "Vantorelle");
  EXPECT_EQ(tb.DialogWindow(d)->windowTitle(), QStringLiteral("Vantorelle"));
}

TEST_F(QtDialogs, FlushesInQuickSuccessionPaintOnlyNowAndThen) {
  const DialogRef d = tb.GetNewDialog(kProgressDialogID);
  tb.ShowWindow(d);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(tb.DialogWindow(d)));
  PaintCounter counter;
  tb.ItemWidget(d, 2)->installEventFilter(&counter);
  for (int i = 0; i < 1000; ++i) {
    tb.SetDialogItemText(d, 2, "Decoding: " + std::to_string(i));
    tb.QDFlushPortBuffer(d);
  }
  EXPECT_GT(counter.paints, 0);
  EXPECT_LT(counter.paints, 100) << "a run that flushes at every step must not paint at every step";
}

}  // namespace
}  // namespace vantorelle::toolbox

namespace vantorelle::toolbox {
namespace {

TEST(QtDialogLayout, ShownWindowGrowsToShowALongerText) {
  QtToolbox tb;
  const DialogRef alert = tb.GetNewDialog(kAlertDialogID);
  tb.ShowWindow(alert);
  QDialog* window = tb.DialogWindow(alert);
  const int before = window->height();
  tb.SetDialogItemText(alert, 3,
                       "Unable to write destination file '/home/somebody/Downloads/a rather long "
                       "folder name/another rather long folder name/and one more folder with a long "
                       "name/holiday-photo.jpg', will skip all related parts");
  auto* label = qobject_cast<QLabel*>(tb.ItemWidget(alert, 3));
  ASSERT_NE(label, nullptr);
  window->layout()->activate();
  EXPECT_GT(window->height(), before);
  EXPECT_GE(label->height(), label->heightForWidth(label->width()));
  tb.DisposeDialog(alert);
}

}  // namespace
}  // namespace vantorelle::toolbox
