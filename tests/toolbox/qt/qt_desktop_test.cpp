// qt_desktop_test.cpp - the desktop around the Qt toolbox: later launches, quit signals, the main window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QDeadlineTimer>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPushButton>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "launch_message.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/qt_desktop.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::toolbox {
namespace {

using test::ScopedEnv;
using test::TempDir;

// ---- The handover message -----------------------------------------------------------

TEST(LaunchMessage, PathsSurviveTheTripWhateverBytesTheyHold) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"/d/a.txt"},
      {"/d/with\nnewline", "/d/caf\xC3\xA9.txt", "/d/not utf-8 \xFF\xFE", "/d/9\n"},
  };
  for (const auto& paths : cases) {
    std::vector<std::string> read;
    EXPECT_EQ(DecodeLaunchMessage(EncodeLaunchMessage(paths), read), LaunchMessageState::kComplete);
    EXPECT_EQ(read, paths);
  }
}

TEST(LaunchMessage, EveryCutIsIncompleteAndNeverAPartialList) {
  const QByteArray whole = EncodeLaunchMessage({"/d/a.txt", "/d/b.txt"});
  for (qsizetype cut = 0; cut < whole.size(); ++cut) {
    std::vector<std::string> read{"left over"};
    EXPECT_EQ(DecodeLaunchMessage(whole.left(cut), read), LaunchMessageState::kIncomplete) << cut;
    EXPECT_TRUE(read.empty()) << cut;
  }
}

TEST(LaunchMessage, MalformedMessagesAreRefused) {
  const std::vector<QByteArray> cases = {
      QByteArray("hello\n"),
      QByteArray("vantorelle-open 2\n1\n/a\0", 23),
      QByteArray("vantorelle-open 1\n\n"),
      QByteArray("vantorelle-open 1\n-1\n"),
      QByteArray("vantorelle-open 1\n1x\n/a"),
      QByteArray("vantorelle-open 1\n99999999999999999999"),
      QByteArray("vantorelle-open 1\n1\n\0", 21),                 // an empty path
      QByteArray("vantorelle-open 1\n1\n/a\0/b\0", 25),           // more than announced
  };
  for (const QByteArray& message : cases) {
    std::vector<std::string> read;
    EXPECT_EQ(DecodeLaunchMessage(message, read), LaunchMessageState::kInvalid) << message.toStdString();
    EXPECT_TRUE(read.empty());
  }
}

// ---- Later launches ------------------------------------------------------------------------

class LaterLaunch : public ::testing::Test {
 protected:
  // Runs the handover of a later launch beside this thread's event loop, as
  // a second process would.
  Handover HandOver(std::vector<std::string> paths, int timeout_ms = 5000) {
    auto later = std::async(std::launch::async, [paths = std::move(paths), timeout_ms] {
      return HandOverToRunningInstance(paths, timeout_ms);
    });
    while (later.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return later.get();
  }
  std::vector<AppleEvent> Delivered() {
    std::vector<AppleEvent> events;
    tb.AEInstallEventHandler(kCoreEventClass, kAEOpenDocuments, [&](const AppleEvent& e, AppleEvent&, long) {
      events.push_back(e);
      return noErr;
    }, 0);
    EventRecord event;
    while (tb.GetNextEvent(everyEvent, event)) tb.AEProcessAppleEvent(event);
    return events;
  }

  TempDir runtime;
  ScopedEnv runtime_env{"XDG_RUNTIME_DIR", runtime.str().c_str()};
  QtToolbox tb;
};

TEST_F(LaterLaunch, TheSocketLiesInTheRuntimeFolderElseInTempByUserAndNamesTheDisplay) {
  {
    ScopedEnv no_display("DISPLAY", nullptr);
    EXPECT_EQ(LaunchSocketPath(), runtime.str() + "/vantorelle.socket");
  }
  ScopedEnv display("DISPLAY", ":1.0");
  EXPECT_EQ(LaunchSocketPath(), runtime.str() + "/vantorelle-:1.0.socket");
  ScopedEnv relative("XDG_RUNTIME_DIR", "relative/run");
  EXPECT_NE(LaunchSocketPath().find("/vantorelle-" + std::to_string(::getuid()) + "-:1.0.socket"), std::string::npos)
      << LaunchSocketPath();
}

TEST_F(LaterLaunch, WithNobodyListeningTheLaunchIsTheInstance) {
  EXPECT_EQ(HandOver({"/d/a.txt"}), Handover::kNoInstance);
}

TEST_F(LaterLaunch, FilesReachTheRunningInstanceAsOneOpenDocumentsEventInOrder) {
  LaunchServer server(tb);
  ASSERT_TRUE(server.listening());
  EXPECT_EQ(HandOver({"/y/a.txt", "/x/b c.txt"}), Handover::kTaken);
  EXPECT_EQ(HandOver({"/z/c.txt"}), Handover::kTaken);
  QCoreApplication::processEvents();
  const std::vector<AppleEvent> events = Delivered();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].direct_object, (std::vector<FSRef>{{"/y/a.txt"}, {"/x/b c.txt"}}));
  EXPECT_EQ(events[1].direct_object, (std::vector<FSRef>{{"/z/c.txt"}}));
}

TEST_F(LaterLaunch, ALaunchWithoutFilesOnlyRaisesTheWindow) {
  LaunchServer server(tb);
  EXPECT_EQ(HandOver({}), Handover::kTaken);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Delivered().empty());
  EXPECT_TRUE(tb.MainWindow()->isVisible());
}

TEST_F(LaterLaunch, OnlyOneInstanceListensAndItsSocketGoesWithIt) {
  {
    LaunchServer first(tb);
    LaunchServer second(tb);
    EXPECT_TRUE(first.listening());
    EXPECT_FALSE(second.listening());
  }
  EXPECT_EQ(HandOver({"/d/a.txt"}), Handover::kNoInstance);
  LaunchServer again(tb);
  EXPECT_TRUE(again.listening());
}

TEST_F(LaterLaunch, ASocketLeftByACrashIsTakenOver) {
  const std::string path = LaunchSocketPath();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);  // the file stays, nobody listens
  LaunchServer server(tb);
  EXPECT_TRUE(server.listening());
  EXPECT_EQ(HandOver({"/d/a.txt"}), Handover::kTaken);
}

TEST_F(LaterLaunch, AGarbledMessageIsDroppedWithoutAnEvent) {
  LaunchServer server(tb);
  auto later = std::async(std::launch::async, [] {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, LaunchSocketPath().c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return std::string("no connect");
    const char garbage[] = "GET / HTTP/1.0\r\n\r\n";
    [[maybe_unused]] auto sent = ::write(fd, garbage, sizeof garbage - 1);
    char reply[16] = {};
    const auto got = ::read(fd, reply, sizeof reply);  // ends when the server hangs up
    ::close(fd);
    return std::string(reply, got > 0 ? static_cast<std::size_t>(got) : 0);
  });
  while (later.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(later.get(), "");
  EXPECT_TRUE(Delivered().empty());
}

// ---- Quit signals ----------------------------------------------------------------------------

class QuitSignalsTest : public ::testing::Test {
 protected:
  int QuitsAfter(int signal_number) {
    int quits = 0;
    tb.AEInstallEventHandler(kCoreEventClass, kAEQuitApplication, [&](const AppleEvent&, AppleEvent&, long) {
      ++quits;
      return noErr;
    }, 0);
    std::raise(signal_number);
    EventRecord event;
    const QDeadlineTimer deadline(5000);
    while (quits == 0 && !deadline.hasExpired()) {
      if (tb.WaitNextEvent(everyEvent, event, 1)) tb.AEProcessAppleEvent(event);
    }
    return quits;
  }
  static void (*Disposition(int signal_number))(int) {
    struct sigaction current {};
    ::sigaction(signal_number, nullptr, &current);
    return current.sa_handler;
  }

  QtToolbox tb;
};

TEST_F(QuitSignalsTest, TermAndIntEachBecomeOneQuitEventThenStepAside) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal_number);
    QuitSignals quit(tb);
    EXPECT_NE(Disposition(signal_number), SIG_DFL);
    EXPECT_EQ(QuitsAfter(signal_number), 1);
    EXPECT_EQ(Disposition(signal_number), SIG_DFL) << "a second signal must end the process";
  }
}

TEST_F(QuitSignalsTest, TheEarlierHandlersComeBackAfterwards) {
  std::signal(SIGINT, SIG_IGN);
  { QuitSignals quit(tb); }
  EXPECT_EQ(Disposition(SIGINT), SIG_IGN);
  std::signal(SIGINT, SIG_DFL);
}

// ---- The main window ----------------------------------------------------------------------------

class MainWindowLook : public ::testing::Test {
 protected:
  MainWindowLook() {
    for (ResID id : {128, 129, 130, 131}) tb.InsertMenu(tb.GetMenu(id), 0);
    tb.DrawMenuBar();
  }
  QMenu* Menu(ResID id) { return tb.MainWindow()->findChild<QMenu*>(QStringLiteral("menu%1").arg(id)); }
  QtToolbox tb;
};

TEST_F(MainWindowLook, HelpComesLastAndOnlyPreferencesShowsInEdit) {
  QStringList titles;
  for (QAction* action : tb.MainWindow()->menuBar()->actions()) titles << action->text();
  EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&Options", "&Help"}));
  QStringList shown;
  for (QAction* action : Menu(kEditMenuID)->actions())
    if (action->isVisible() && !action->isSeparator()) shown << action->objectName();
  EXPECT_EQ(shown, QStringList{"menu130_item9"});
  EXPECT_EQ(Menu(kEditMenuID)->actions().size(), 9) << "hidden items keep the numbering";
}

TEST_F(MainWindowLook, MenusAndItemsCarryMnemonics) {
  for (const MenuTemplate& layout : MenuTemplates()) {
    QMenu* menu = Menu(layout.id);
    EXPECT_TRUE(menu->title().contains('&')) << layout.id;
    for (QAction* action : menu->actions()) {
      if (action->isVisible() && !action->isSeparator()) {
        EXPECT_TRUE(action->text().contains('&')) << action->objectName().toStdString();
      }
    }
  }
}

TEST_F(MainWindowLook, TheOpenButtonIsTheOpenFileMenuChoice) {
  auto* open = tb.MainWindow()->findChild<QPushButton*>(QStringLiteral("openButton"));
  ASSERT_NE(open, nullptr);
  open->click();
  EventRecord event;
  ASSERT_TRUE(tb.GetNextEvent(everyEvent, event));
  EXPECT_EQ(tb.FindWindow(event.where), inMenuBar);
  EXPECT_EQ(tb.MenuSelect(event.where), MenuChoice(kFileMenuID, 1));
}

TEST_F(MainWindowLook, TheDropAreaSaysWhatToDoAndShowsTheIcon) {
  auto* label = tb.MainWindow()->findChild<QLabel*>(QStringLiteral("dropLabel"));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), "Drop saved articles here");
  auto* icon = tb.MainWindow()->findChild<QLabel*>(QStringLiteral("dropIcon"));
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  EXPECT_FALSE(ApplicationIcon().pixmap(48).toImage().pixelColor(24, 24).alpha() == 0) << "the icon draws nothing";
}

// The palette's own "mid" all but vanished on a dark window.
TEST_F(MainWindowLook, TheDropAreaBorderStandsOutInALightAndADarkPalette) {
  const QPalette light = QApplication::palette();
  QPalette dark = light;
  dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
  dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
  dark.setColor(QPalette::Mid, QColor(0x33, 0x33, 0x33));
  dark.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0));
  dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
  dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
  QMainWindow* window = tb.MainWindow();
  window->resize(1024, 768);
  auto* area = window->findChild<QFrame*>(QStringLiteral("dropArea"));
  for (const auto& [name, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
    SCOPED_TRACE(name);
    QApplication::setPalette(palette);  // as a desktop theme does
    window->show();
    QCoreApplication::processEvents();
    const QImage image = area->grab().toImage();
    const int y = image.height() / 2;
    const QColor inside = image.pixelColor(image.width() / 2, y);
    int strongest = 0;
    for (int x = 0; x < 6; ++x) {
      strongest = std::max(strongest, std::abs(image.pixelColor(x, y).lightness() - inside.lightness()));
    }
    EXPECT_GE(strongest, 60) << "the border is hardly seen";
    if (const char* folder = std::getenv("VANTORELLE_SCREENSHOTS")) {
      window->grab().save(QStringLiteral("%1/main-%2.png").arg(QString::fromUtf8(folder), QLatin1String(name)));
      QMenu* options = Menu(kOptionsMenuID);
      options->popup(window->mapToGlobal(QPoint(0, 0)));
      QCoreApplication::processEvents();
      options->grab().save(QStringLiteral("%1/options-%2.png").arg(QString::fromUtf8(folder), QLatin1String(name)));
      options->hide();
    }
  }
  QApplication::setPalette(light);
}

}  // namespace
}  // namespace vantorelle::toolbox
