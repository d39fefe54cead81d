// qt_application_test.cpp - the application on the Qt toolbox, offscreen: drops, later launches, signals.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QAction>
#include <QDropEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <signal.h>

#include <filesystem>
#include <functional>
#include <string>

#include "application.hpp"
#include "folder_options.hpp"
#include "article_writer.hpp"
#include "intake_table.hpp"
#include "par2_writer.hpp"
#include "preferences.hpp"
#include "progress_window.hpp"
#include "run_state.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::ScopedEnv;
using test::TempDir;
using test::WriteBytes;

constexpr int kPatienceMs = 20000;

std::string ArticleText(const std::string& name, const std::string& data) {
  std::string text;
  for (const std::string& article : test::yenc_articles("Posting of " + name, name, data, 1 << 20)) text += article;
  return text;
}

// Polls `done` while Qt runs, for at most kPatienceMs.
bool WaitFor(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(kPatienceMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// A folder for the application's preferences, Trash and socket.
class Desktop : public ::testing::Test {
 protected:
  Desktop() {
    fs::create_directories(config());
    fs::create_directories(runtime());
    fs::permissions(runtime(), fs::perms::owner_all, fs::perm_options::replace);
  }
  std::string config() const { return home.file("config"); }
  std::string runtime() const { return home.file("run"); }
  std::string prefs_file() const { return config() + "/Vantorelle prefs"; }
  std::string Article(const std::string& file, const std::string& name, const std::string& data) const {
    WriteBytes(home.file(file), ArticleText(name, data));
    return home.file(file);
  }

  TempDir home;
};

// ---- In this process: a drop on the main window -------------------------------------------------

class DropOnWindow : public Desktop {
 protected:
  DropOnWindow() {
    alive = false;
    run_state() = RunState{};
    prefs = Prefs{};
    shiftKey_menu_ = cmdKey_menu_ = controlKey_menu_ = false;
  }
  ScopedEnv config_env{"XDG_CONFIG_HOME", config().c_str()};
  ScopedEnv data_env{"XDG_DATA_HOME", home.file("data").c_str()};
};

void Drop(QWidget* window, const std::string& path) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
  QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
}

TEST_F(DropOnWindow, AnArticleDroppedOnTheMainWindowIsDecodedAndTheWindowStays) {
  const std::string article = Article("dropped.txt", "dropped.bin", "dropped on the window");
  const std::string output = home.file("dropped.bin");
  toolbox::QtToolbox tb;
  tb.PostAppleEvent({toolbox::kCoreEventClass, toolbox::kAEOpenApplication, {}});
  bool stayed = false;
  // Once the loop runs: drop, wait for the output, then close the window (quit).
  QTimer::singleShot(300, tb.MainWindow(), [&] {
    Drop(tb.MainWindow(), article);
    QTimer* poll = new QTimer(tb.MainWindow());
    const QDeadlineTimer deadline(kPatienceMs);
    QObject::connect(poll, &QTimer::timeout, tb.MainWindow(), [&, poll, deadline] {
      if (!fs::exists(output) && !deadline.hasExpired()) return;
      poll->stop();
      stayed = alive && tb.MainWindow()->isVisible();
      tb.MainWindow()->close();
    });
    poll->start(20);
  });
  EXPECT_EQ(RunApplication(tb), 0);
  EXPECT_EQ(ReadBytes(output), "dropped on the window");
  EXPECT_TRUE(stayed);
  EXPECT_FALSE(progPtr) << "the progress window is closed after the run";
  EXPECT_EQ(fs::file_size(prefs_file()), 18u);
}

// The windows and buttons on screen, to tell why a step never came.
std::string OnScreen() {
  std::string shown;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible()) continue;
    shown += " [" + window->objectName().toStdString();
    for (auto* button : window->findChildren<QPushButton*>()) {
      if (button->isVisible()) shown += " " + button->objectName().toStdString();
    }
    shown += "]";
  }
  return shown;
}

// Runs an application launched plainly on `tb` through `steps`, each tried
// every 20 ms while the loop runs until it says it is done; then quits.
void RunPlain(toolbox::QtToolbox& tb, std::vector<std::function<bool()>> steps) {
  tb.PostAppleEvent({toolbox::kCoreEventClass, toolbox::kAEOpenApplication, {}});
  QTimer poll;
  std::size_t step = 0;
  const QDeadlineTimer deadline(kPatienceMs);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    while (step < steps.size() && steps[step]()) ++step;
    if (step < steps.size() && !deadline.hasExpired()) return;
    EXPECT_EQ(step, steps.size()) << "a step never came about; on screen:" << OnScreen();
    poll.stop();
    // A step that never came may leave a dialog in its own loop; end it, or the test never ends.
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    tb.MainWindow()->close();
  });
  poll.start(20);
  RunApplication(tb);
}

QAction* MenuItem(toolbox::QtToolbox& tb, int menu, int item) {
  return tb.MainWindow()->findChild<QAction*>(QStringLiteral("menu%1_item%2").arg(menu).arg(item));
}

TEST_F(DropOnWindow, FolderPerSubjectActsAtEveryDropOfAFolderAndTheNextLaunchRemembersItAndTheWindow) {
  fs::create_directories(home.file("posting/sub"));
  Article("posting/1.txt", "one.bin", "first");
  Article("posting/2.txt", "two.bin", "second");
  Article("posting/sub/3.txt", "three.bin", "in a subfolder");
  // Both subjects begin "Posting ": over the first 8 characters they are one.
  const std::string two = home.file("posting/Posting of one.bin - \"one.bin\" yEnc/two.bin");
  {
    toolbox::QtToolbox tb;
    RunPlain(tb, {[&] { return tb.MainWindow()->isVisible(); },
                  [&] {
                    MenuItem(tb, toolbox::kOptionsMenuID, kSubjectFoldersItem)->trigger();
                    return true;
                  },
                  [&] { return shiftKey_menu_; },
                  [&] {
                    Drop(tb.MainWindow(), home.file("posting"));
                    return true;
                  },
                  [&] { return fs::exists(two) && !progPtr; },
                  [&] {
                    tb.MainWindow()->resize(640, 480);
                    return true;
                  }});
  }
  EXPECT_EQ(ReadBytes(home.file("posting/Posting of one.bin - \"one.bin\" yEnc/one.bin")), "first");
  EXPECT_EQ(ReadBytes(two), "second");
  EXPECT_FALSE(fs::exists(home.file("posting/sub/three.bin"))) << "a dropped folder gives only its own files";

  shiftKey_menu_ = false;
  toolbox::QtToolbox next;
  QSize size;
  bool marked = false;
  RunPlain(next, {[&] {
    if (!next.MainWindow()->isVisible()) return false;
    size = next.MainWindow()->size();
    marked = MenuItem(next, toolbox::kOptionsMenuID, kSubjectFoldersItem)->isChecked();
    return true;
  }});
  EXPECT_TRUE(shiftKey_menu_);
  EXPECT_TRUE(marked);
  EXPECT_EQ(size, QSize(640, 480));
}

TEST_F(DropOnWindow, OpenTakesThreeFilesFromTheChooserIntoOneRun) {
  for (const char* name : {"a", "b", "c"}) Article(std::string(name) + ".uue", std::string(name) + ".bin", name);
  toolbox::QtToolbox tb;
  QStringList filters;
  RunPlain(tb, {[&] {
                  MenuItem(tb, toolbox::kFileMenuID, 1)->trigger();
                  return true;
                },
                [&] {
                  QFileDialog* chooser = tb.OpenChooser();
                  if (!chooser || !chooser->isVisible()) return false;
                  filters = chooser->nameFilters();
                  chooser->setDirectory(QString::fromStdString(home.str()));
                  // Typed as a user would: selectFile leaves a focused name field alone.
                  auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                  if (!name) return false;
                  name->setText(QStringLiteral("\"a.uue\" \"b.uue\" \"c.uue\""));
                  QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
                  return true;
                },
                [&] { return fs::exists(home.file("c.bin")) && !progPtr; }});
  ASSERT_EQ(filters.size(), 2);
  EXPECT_TRUE(filters[0].contains("*.uue") && filters[0].contains("*.eml") && filters[0].contains("*.ync"))
      << filters[0].toStdString();
  EXPECT_EQ(filters[1], "All files (*)");
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(ReadBytes(home.file(std::string(name) + ".bin")), name);
  EXPECT_EQ(test::outputs_below(home.path()).size(), 3u) << "one run, each output once";
}

// The button `item` of the dialog `id`, when one is on screen.
QPushButton* VisibleButton(int id, int item) {
  const QString name = QStringLiteral("dlg%1_item%2").arg(id).arg(item);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* button = window->findChild<QPushButton*>(name);
    if (button && button->isVisible()) return button;
  }
  return nullptr;
}

bool Click(int id, int item) {
  QPushButton* button = VisibleButton(id, item);
  if (button) QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
  return button != nullptr;
}

// A posting that lacks a part, dropped with its PAR2 set: the results view
// offers the repair, and one click leaves the exact original.
TEST_F(DropOnWindow, RepairNowInTheResultsViewMendsAPostingThatLacksAPart) {
  const std::string folder = home.file("posting");
  fs::create_directories(folder);
  std::string data(3000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7919 % 256);
  const par2::test::SetWriter set(500, {{"lacking.bin", par2::test::Bytes(data.begin(), data.end())}});
  const auto parts = test::yenc_articles("Posting", "lacking.bin", data, 1000);
  WriteBytes(folder + "/part1.txt", parts[0]);
  WriteBytes(folder + "/part3.txt", parts[2]);
  const par2::test::Bytes volume = set.volume({1, 2, 3});
  WriteBytes(folder + "/lacking.par2", std::string(volume.begin(), volume.end()));
  const std::string output = folder + "/lacking.bin";
  toolbox::QtToolbox tb;
  std::string before;
  RunPlain(tb, {[&] {
                  Drop(tb.MainWindow(), folder);
                  return true;
                },
                [&] {
                  Click(toolbox::kAlertDialogID, kAlertContinueItem);  // the summary of the warnings
                  // The results view: Close with Repair now? beside it.
                  if (!VisibleButton(toolbox::kProgressDialogID, kProgressCloseItem) ||
                      !VisibleButton(toolbox::kProgressDialogID, kProgressRepairItem))
                    return false;
                  before = ReadBytes(output);
                  return Click(toolbox::kProgressDialogID, kProgressRepairItem);
                },
                [&] { return !VisibleButton(toolbox::kProgressDialogID, kProgressRepairItem); },
                [&] { return Click(toolbox::kProgressDialogID, kProgressCloseItem); },
                [&] { return !progPtr; }});
  EXPECT_EQ(before.substr(1000, 1000), std::string(1000, '\0')) << "the missing part was a hole before the click";
  EXPECT_EQ(ReadBytes(output), data);
  EXPECT_FALSE(fs::exists(output + ".1"));
}

// ---- The vantorelle program ---------------------------------------------------------------------------

class Program : public Desktop {
 protected:
  QProcessEnvironment Environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(config()));
    env.insert("XDG_DATA_HOME", QString::fromStdString(home.file("data")));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime()));
    env.insert("DISPLAY", QStringLiteral(":91"));
    return env;
  }
  std::string socket() const { return runtime() + "/vantorelle-:91.socket"; }
  void Start(QProcess& process, const QStringList& arguments) const {
    process.setProcessEnvironment(Environment());
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(VANTORELLE_APP), arguments);
    ASSERT_TRUE(process.waitForStarted(kPatienceMs));
  }
  // Runs the program to its end and gives its exit code; -1 when it did not end.
  int Run(const QStringList& arguments) const {
    QProcess process;
    Start(process, arguments);
    if (!process.waitForFinished(kPatienceMs)) {
      process.kill();
      process.waitForFinished();
      return -1;
    }
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  }
  // Starts the instance that stays open, once it takes later launches.
  void StartInstance(QProcess& instance) const {
    Start(instance, {});
    ASSERT_TRUE(WaitFor([&] { return fs::exists(socket()); }))
        << "the running instance never listened for later launches";
  }
  static int EndWith(QProcess& instance, void (QProcess::*how)()) {
    (instance.*how)();
    if (!instance.waitForFinished(kPatienceMs)) {
      instance.kill();
      instance.waitForFinished();
      return -1;
    }
    return instance.exitStatus() == QProcess::NormalExit ? instance.exitCode() : -1;
  }
};

TEST_F(Program, ALaunchWithFilesDecodesThemAndEnds) {
  const std::string a = Article("a.txt", "a.bin", "first");
  const std::string b = Article("b.txt", "b.bin", "second");
  EXPECT_EQ(Run({QString::fromStdString(a), QString::fromStdString(b)}), 0);
  EXPECT_EQ(ReadBytes(home.file("a.bin")), "first");
  EXPECT_EQ(ReadBytes(home.file("b.bin")), "second");
  EXPECT_EQ(fs::file_size(prefs_file()), 18u);
}

TEST_F(Program, RelativePathsAreTakenFromTheLaunchFolderAndQtOptionsAreQts) {
  // "link/../rel.txt" is the rel.txt beside the folder the link points to, as on the command line.
  fs::create_directories(home.file("real/sub"));
  fs::create_directory_symlink(home.file("real/sub"), home.file("link"));
  Article("real/rel.txt", "rel.bin", "relative");
  Article("rel.txt", "decoy.bin", "not this one");
  QProcess process;
  process.setWorkingDirectory(QString::fromStdString(home.str()));
  Start(process, {"-platform", "offscreen", "link/../rel.txt"});
  ASSERT_TRUE(process.waitForFinished(kPatienceMs));
  EXPECT_EQ(process.exitCode(), 0);
  EXPECT_EQ(ReadBytes(home.file("real/rel.bin")), "relative");
  EXPECT_FALSE(fs::exists(home.file("decoy.bin")));
}

TEST_F(Program, ALaterLaunchHandsItsFilesToTheRunningInstanceAndEnds) {
  QProcess instance;
  StartInstance(instance);
  const std::string article = Article("later.txt", "later.bin", "handed over");
  EXPECT_EQ(Run({QString::fromStdString(article)}), 0);
  EXPECT_TRUE(WaitFor([&] { return ReadBytes(home.file("later.bin")) == "handed over"; }));
  EXPECT_EQ(Run({}), 0) << "a plain later launch only raises the window";
  EXPECT_EQ(instance.state(), QProcess::Running);
  EXPECT_EQ(EndWith(instance, &QProcess::terminate), 0);
}

TEST_F(Program, LaunchesAtOnceMakeOneInstanceAndOneRunPerFileSetAndEachDisplayHasItsOwn) {
  const std::string a = Article("a.txt", "a.bin", "first");
  const std::string b = Article("b.txt", "b.bin", "second");
  const QStringList same = {QString::fromStdString(a), QString::fromStdString(b)};
  const QStringList reversed = {QString::fromStdString(b), QString::fromStdString(a)};
  QProcess first, second, other_set;
  Start(first, same);
  Start(second, reversed);
  Start(other_set, {QString::fromStdString(b)});
  for (QProcess* launch : {&first, &second, &other_set}) {
    ASSERT_TRUE(launch->waitForFinished(kPatienceMs));
    EXPECT_EQ(launch->exitCode(), 0);
  }
  EXPECT_EQ(ReadBytes(home.file("a.bin")), "first");
  EXPECT_FALSE(fs::exists(home.file("a-(0).bin"))) << "the same files were decoded twice";
  EXPECT_TRUE(fs::exists(home.file("b-(0).bin"))) << "another set of files is another run";

  // An instance on one display does not take the launches of another.
  QProcess instance;
  StartInstance(instance);
  QProcessEnvironment elsewhere = Environment();
  elsewhere.insert("DISPLAY", QStringLiteral(":92"));
  QProcess launch;
  launch.setProcessEnvironment(elsewhere);
  const std::string c = Article("c.txt", "c.bin", "third");
  launch.start(QStringLiteral(VANTORELLE_APP), {QString::fromStdString(c)});
  ASSERT_TRUE(launch.waitForFinished(kPatienceMs));
  EXPECT_EQ(ReadBytes(home.file("c.bin")), "third");
  EXPECT_TRUE(fs::exists(runtime() + "/vantorelle-:92.socket.lock")) << "it went through its own display's lock";
  EXPECT_EQ(EndWith(instance, &QProcess::terminate), 0);
}

TEST_F(Program, TermAndIntWriteThePreferencesAndEndTheInstance) {
  for (auto how : {&QProcess::terminate, static_cast<void (QProcess::*)()>(nullptr)}) {
    SCOPED_TRACE(how ? "SIGTERM" : "SIGINT");
    // Words 0 and 8 on: both must come back as they were read.
    const std::string ours = std::string("\x01", 1) + std::string(15, '\0') + std::string("\x01\x00", 2);
    WriteBytes(prefs_file(), ours);
    QProcess instance;
    StartInstance(instance);
    // An answered later launch shows the instance is past reading its preferences.
    ASSERT_EQ(Run({}), 0);
    fs::remove(prefs_file());
    if (how) {
      EXPECT_EQ(EndWith(instance, how), 0);
    } else {
      ::kill(static_cast<pid_t>(instance.processId()), SIGINT);
      ASSERT_TRUE(instance.waitForFinished(kPatienceMs));
      EXPECT_EQ(instance.exitStatus(), QProcess::NormalExit);
      EXPECT_EQ(instance.exitCode(), 0);
    }
    EXPECT_EQ(ReadBytes(prefs_file()), ours);
    EXPECT_FALSE(fs::exists(socket())) << "the socket goes with the instance";
  }
}

TEST_F(Program, HelpAndVersionNeedNoWindowAnUnknownOptionIsAUsageError) {
  QProcessEnvironment no_display = Environment();
  no_display.insert("QT_QPA_PLATFORM", "no-such-platform");  // a window would fail
  struct Case {
    QStringList arguments;
    QProcessEnvironment env;
    int status;
  };
  // Unknown options are known only once Qt has taken its own from the arguments.
  const Case cases[] = {{{"--help"}, no_display, 0},
                        {{"-platform", "offscreen", "--version"}, no_display, 0},
                        {{"--frobnicate"}, Environment(), 2}};
  for (const Case& c : cases) {
    QProcess process;
    process.setProcessEnvironment(c.env);
    process.start(QStringLiteral(VANTORELLE_APP), c.arguments);
    ASSERT_TRUE(process.waitForFinished(kPatienceMs));
    EXPECT_EQ(process.exitCode(), c.status) << c.arguments.join(' ').toStdString();
    EXPECT_TRUE(fs::is_empty(config())) << "nothing ran";
  }
}

}  // namespace
}  // namespace vantorelle::app
