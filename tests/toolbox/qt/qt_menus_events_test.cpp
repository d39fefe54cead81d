// qt_menus_events_test.cpp - menus from the form, and Qt happenings turned into event records.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "modifiers.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

class QtMenusEvents : public ::testing::Test {
 protected:
  QtMenusEvents() {
    for (ResID id : {128, 129, 130, 131}) tb.InsertMenu(tb.GetMenu(id), 0);
    tb.DrawMenuBar();
  }
  QAction* Action(ResID menu, int item) {
    auto* qmenu = tb.MainWindow()->findChild<QMenu*>(QStringLiteral("menu%1").arg(menu));
    return qmenu ? qmenu->actions().value(item - 1) : nullptr;
  }
  EventRecord Next() {
    EventRecord event;
    EXPECT_TRUE(tb.GetNextEvent(everyEvent, event));
    return event;
  }

  QtToolbox tb;
};

TEST_F(QtMenusEvents, MenusInTheFormMatchTheTableTheShellUses) {
  for (const MenuTemplate& layout : MenuTemplates()) {
    SCOPED_TRACE(layout.id);
    auto* menu = tb.MainWindow()->findChild<QMenu*>(QStringLiteral("menu%1").arg(layout.id));
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->title().isEmpty());
    ASSERT_EQ(menu->actions().size(), static_cast<qsizetype>(layout.items.size()));
    for (const MenuItemTemplate& item : layout.items) {
      QAction* action = menu->actions()[item.number - 1];
      EXPECT_EQ(action->isSeparator(), item.separator) << "item " << item.number;
      if (item.separator) continue;
      EXPECT_EQ(action->objectName(), QStringLiteral("menu%1_item%2").arg(layout.id).arg(item.number));
      EXPECT_EQ(action->isEnabled(), item.enabled) << "item " << item.number;
      const QKeySequence shortcut = action->shortcut();
      EXPECT_EQ(shortcut.isEmpty() ? 0 : shortcut[0].key(), item.key == 0 ? 0 : int{item.key})
          << "item " << item.number;
      EXPECT_EQ(action->property("command").toString().toStdString(),
                item.command == kHICommandQuit ? "quit" : "") << "item " << item.number;
    }
  }
}

TEST_F(QtMenusEvents, MenusJoinTheBarInOrderWithTheApplicationMenuLast) {
  QStringList names;
  for (QAction* action : tb.MainWindow()->menuBar()->actions()) names << action->menu()->objectName();
  EXPECT_EQ(names, (QStringList{"menu129", "menu130", "menu131", "menu128"}));
}

TEST_F(QtMenusEvents, TheWindowShowsOnlyOnceTheApplicationWaitsForTheUser) {
  EventRecord event;
  tb.GetNextEvent(everyEvent, event);
  EXPECT_FALSE(tb.MainWindow()->isVisible()) << "start-up takes events without waiting";
  tb.WaitNextEvent(everyEvent, event, 1);
  EXPECT_TRUE(tb.MainWindow()->isVisible());
}

TEST_F(QtMenusEvents, ChoosingAnItemIsAMenuBarMouseDown) {
  Action(kEditMenuID, 9)->trigger();
  const EventRecord event = Next();
  EXPECT_EQ(event.what, mouseDown);
  EXPECT_EQ(tb.FindWindow(event.where), inMenuBar);
  EXPECT_EQ(tb.MenuSelect(event.where), MenuChoice(kEditMenuID, 9));
}

TEST_F(QtMenusEvents, QuitAndClosingTheWindowSendTheQuitEvent) {
  int quits = 0;
  tb.AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, [&](const AppleEvent&, AppleEvent&, long) {
    ++quits;
    return noErr;
  }, 0);
  Action(kFileMenuID, 3)->trigger();
  EventRecord event = Next();
  EXPECT_EQ(tb.MenuSelect(event.where), 0);
  tb.AEProcessAppleEvent(Next());
  tb.RaiseMainWindow();
  tb.MainWindow()->close();
  tb.AEProcessAppleEvent(Next());
  EXPECT_EQ(quits, 2);
  EXPECT_TRUE(tb.MainWindow()->isVisible());
}

TEST_F(QtMenusEvents, ACommandKeyIsAKeyDownThatMenuKeyMaps) {
  QTest::keyClick(tb.MainWindow(), Qt::Key_O, Qt::ControlModifier);
  const EventRecord event = Next();
  EXPECT_EQ(event.what, keyDown);
  EXPECT_TRUE(event.modifiers & cmdKey);
  EXPECT_EQ(tb.MenuKey(static_cast<char>(event.message & charCodeMask)), MenuChoice(kFileMenuID, 1));
  QTest::keyClick(tb.MainWindow(), Qt::Key_O);
  EventRecord none;
  EXPECT_FALSE(tb.GetNextEvent(everyEvent, none)) << "a key without the command key is not an event";
}

TEST_F(QtMenusEvents, TheCheckMarkIsTheShellsAlone) {
  QAction* action = Action(kOptionsMenuID, 1);
  tb.SetItemMark(tb.GetMenuHandle(kOptionsMenuID), 1, kCheckMark);
  EXPECT_TRUE(action->isChecked());
  action->trigger();
  EXPECT_TRUE(action->isChecked());
  EXPECT_EQ(tb.MenuSelect(Next().where), MenuChoice(kOptionsMenuID, 1));
  tb.SetItemMark(tb.GetMenuHandle(kOptionsMenuID), 1, kNoMark);
  EXPECT_FALSE(action->isChecked());
}

TEST_F(QtMenusEvents, DroppedFilesArriveAsOpenDocuments) {
  std::vector<std::string> files;
  tb.AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, [&](const AppleEvent& ev, AppleEvent&, long) {
    for (const FSRef& ref : ev.direct_object) files.push_back(ref.path);
    return noErr;
  }, 0);
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile("/y/a.txt"), QUrl::fromLocalFile("/x/b c.txt"), QUrl("https://example.invalid/")});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tb.MainWindow(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(tb.MainWindow(), &drop);
  EXPECT_EQ(tb.AEProcessAppleEvent(Next()), noErr);
  EXPECT_EQ(files, (std::vector<std::string>{"/y/a.txt", "/x/b c.txt"}));
}

TEST(QtModifiers, QtKeysMapToTheModifierWord) {
  struct Case {
    Qt::KeyboardModifiers qt;
    EventModifiers word;
  };
  const Case cases[] = {
      {Qt::NoModifier, 0},
      {Qt::ControlModifier, cmdKey},
      {Qt::ShiftModifier, shiftKey},
      {Qt::AltModifier, optionKey},
      {Qt::MetaModifier, controlKey},
      {Qt::ShiftModifier | Qt::MetaModifier | Qt::KeypadModifier, shiftKey | controlKey},
  };
  for (const Case& c : cases) EXPECT_EQ(ModifiersFromQt(c.qt), c.word) << c.qt.toInt();
}

TEST(QtFileTypes, ExtensionsMapToMimeTypes) {
  QtToolbox tb;
  std::string mime;
  EXPECT_EQ(tb.MapFileName("/d/photo.jpg", mime), noErr);
  EXPECT_EQ(mime, "image/jpeg");
  EXPECT_EQ(tb.MapFileName("/d/part1.zq9", mime), icPrefNotFoundErr);
  EXPECT_TRUE(mime.empty());
}

}  // namespace
}  // namespace vantorelle::toolbox
