// qt_shell_windows_test.cpp - the progress window, the alert, disposal and typing on the desktop backend.
//
// Set VANTORELLE_SCREENSHOTS to a folder to keep PNG pictures of the windows
// with long texts.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>

#include "file_typing.hpp"
#include "input_disposal.hpp"
#include "item_labels.hpp"
#include "preferences.hpp"
#include "progress_window.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/qt_toolbox.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;
using toolbox::QtToolbox;

// A path of exactly 255 bytes with no space to break at.
std::string LongPath() {
  std::string path = "/home/somebody/Downloads/news/alt.binaries.pictures/";
  while (path.size() < 255 - 14) path += "longfoldername/";
  path += "holiday-photo.jpg";
  return path.substr(path.size() - 255);
}

// The modal dialog on top once the nested loop runs, by its form.
QDialog* OpenDialog(toolbox::ResID id) {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && widget->objectName() == QStringLiteral("Dialog%1").arg(id))
      return qobject_cast<QDialog*>(widget);
  }
  return nullptr;
}

QWidget* Item(QDialog* dialog, toolbox::ResID id, int item) {
  return dialog->findChild<QWidget*>(QStringLiteral("dlg%1_item%2").arg(id).arg(item));
}

// Runs `act` on the alert once it is up (events may be taken before it opens).
void WithAlert(std::function<void(QDialog*)> act, int tries = 50) {
  QTimer::singleShot(0, [act, tries] {
    QDialog* alert = OpenDialog(toolbox::kAlertDialogID);
    if (!alert && tries > 0) return WithAlert(act, tries - 1);
    ASSERT_NE(alert, nullptr);
    act(alert);
  });
}

void Screenshot(QWidget* window, const char* name) {
  const char* folder = std::getenv("VANTORELLE_SCREENSHOTS");
  if (!folder) return;
  window->grab().save(QString::fromUtf8(folder) + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

void ExpectOnScreen(QWidget* window) {
  const int screen_width = std::min(1024, window->screen()->availableGeometry().width());
  EXPECT_LE(window->frameGeometry().width(), screen_width);
}

class QtShellWindows : public ::testing::Test {
 protected:
  QtShellWindows() { Reset(); }
  ~QtShellWindows() override {
    if (progPtr) tb.DisposeDialog(progPtr);
    Reset();
  }
  static void Reset() {
    run_state() = RunState{};
    prefs = Prefs{};
    progPtr = toolbox::DialogRef{};
  }

  QtToolbox tb;
};

TEST_F(QtShellWindows, TheAlertStartsWithTheFocusOnContinueAndStrayKeysAndEscapeNeverQuit) {
  for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
    SCOPED_TRACE(key);
    bool checked = false;
    WithAlert([&checked, key](QDialog* alert) {
      QWidget* focus = alert->focusWidget();
      EXPECT_EQ(focus, Item(alert, toolbox::kAlertDialogID, kAlertContinueItem));
      QTest::keyClick(focus ? focus : alert, key);  // Escape and closing continue as well
      checked = true;
    });
    EXPECT_EQ(MsgCallBack(tb, kLevelError, "CRC error"), 1);  // returns: the run goes on
    EXPECT_TRUE(checked);
  }
}

TEST(QtShellQuit, TheQuitButtonEndsTheProcessWithoutWritingThePreferences) {
  test::TempDir config;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        test::ScopedEnv env("XDG_CONFIG_HOME", config.str().c_str());
        QtToolbox box;
        WithAlert([](QDialog* alert) {
          QTest::mouseClick(Item(alert, toolbox::kAlertDialogID, kAlertQuitItem), Qt::LeftButton);
        });
        MsgCallBack(box, kLevelError, "Unable to open 'x'");
        PutPrefs(box, kPrefsFileName, kPrefsSize, prefs);  // the orderly way out
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_FALSE(fs::exists(config.file(std::string(kPrefsFileName))));
}

TEST_F(QtShellWindows, A255BytePathStaysWithinTheScreenInTheProgressWindow) {
  const std::string path = LongPath();
  ASSERT_EQ(path.size(), 255u);
  OpenProgress(tb, progPtr);
  QDialog* window = tb.DialogWindow(progPtr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  const int width_before = window->width();
  const std::string long_name = std::string(230, 'n') + "-holiday-photo.jpg";
  BusyCallback(tb, kBusyDecoding, -1, "/out/" + long_name, 40);
  MsgCallBack(tb, kLevelWarning, "Unable to write destination file '" + path + "', will skip all related parts");

  ExpectOnScreen(window);
  EXPECT_TRUE(window->screen()->availableGeometry().contains(window->frameGeometry())) << "title bar on screen";
  EXPECT_NEAR(window->geometry().center().x(), window->screen()->availableGeometry().center().x(), 2) << "centred";
  EXPECT_EQ(window->width(), width_before) << "texts never widen the window";
  auto* status = qobject_cast<toolbox::ElidedLabel*>(tb.ItemWidget(progPtr, kProgressStatusItem));
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->shownText().contains(QChar(0x2026)));
  EXPECT_TRUE(status->shownText().endsWith(QStringLiteral("photo.jpg")));
  EXPECT_EQ(tb.GetDialogItemText(progPtr, kProgressStatusItem), FitItemText("Decoding: " + long_name));

  // The list keeps the whole message; its row shows the start and the end.
  const auto rows = tb.ListRows(progPtr, kProgressListItem);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][1], FitItemText("Unable to write destination file '" + path + "', will skip all related parts"));
  QWidget* list = tb.ItemWidget(progPtr, kProgressListItem);
  EXPECT_LE(list->geometry().right(), window->contentsRect().right());
  // "Messages:" stands level with the top of the list.
  QWidget* caption = tb.ItemWidget(progPtr, 4);
  EXPECT_NEAR(caption->mapTo(window, QPoint(0, 0)).y(), list->mapTo(window, QPoint(0, 0)).y(), 2);
  window->repaint();
  Screenshot(window, "progress-long-path");

  BusyCallback(tb, kBusyScanning, 0, "/" + std::string(300, 'x') + "/part1.txt", 0);
  EXPECT_TRUE(status->shownText().startsWith(QStringLiteral("Scanning: part1.txt")));
}

TEST_F(QtShellWindows, EveryMessageIsListedInOrderAndCanBeCopied) {
  OpenProgress(tb, progPtr);
  QDialog* window = tb.DialogWindow(progPtr);
  const int height = window->height();
  const std::string message = "CRC error in '" + LongPath() + "'";
  MsgCallBack(tb, kLevelWarning, "Segment 2 is missing");
  MsgCallBack(tb, kLevelWarning, message);
  EXPECT_EQ(window->height(), height) << "long messages never resize the window";
  auto* list = tb.ItemWidget(progPtr, kProgressListItem);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);  // nothing selected: every row
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
            "Warning\tSegment 2 is missing\nWarning\t" + FitItemText(message));
}

// Stop, Escape or closing the window: at once while scanning; while an
// output is half written only once the question says "Stop".
TEST_F(QtShellWindows, StopEndsTheRunAtTheNextPollAfterAQuestionWhileAnOutputIsWritten) {
  enum class Ask { kScanning, kContinue, kEscape, kStop };
  struct Case {
    Ask ask;
    bool by_escape;  // Escape in the progress window instead of the Stop button
    int result;      // what the busy hook returns at the next poll
  };
  for (const Case& c : {Case{Ask::kScanning, true, 1}, Case{Ask::kContinue, false, 0}, Case{Ask::kEscape, true, 0},
                        Case{Ask::kStop, false, 1}}) {
    SCOPED_TRACE(static_cast<int>(c.ask));
    OpenProgress(tb, progPtr);
    QDialog* window = tb.DialogWindow(progPtr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    if (c.ask == Ask::kScanning) {
      BusyCallback(tb, kBusyScanning, -1, "/news/a.txt", 0);
    } else {
      BusyCallback(tb, kBusyDecoding, -1, "/out/big.bin", 0);
    }
    EXPECT_EQ(BusyCallback(tb, kBusyPoll, 0, "", 0), 0) << "nothing asked yet";
    bool asked = false;
    if (c.ask != Ask::kScanning) {
      WithAlert([&asked, &c](QDialog* alert) {
        auto* text = qobject_cast<QLabel*>(Item(alert, toolbox::kAlertDialogID, kAlertTextItem));
        EXPECT_TRUE(text->text().contains(QStringLiteral("'big.bin'")));
        asked = true;
        if (c.ask == Ask::kEscape) {
          QTest::keyClick(alert, Qt::Key_Escape);
        } else {
          QTest::mouseClick(Item(alert, toolbox::kAlertDialogID, c.ask == Ask::kStop ? kAlertQuitItem : kAlertContinueItem),
                            Qt::LeftButton);
        }
      });
    }
    if (c.by_escape) {
      QTest::keyClick(window, Qt::Key_Escape);
    } else {
      QTest::mouseClick(tb.ItemWidget(progPtr, kProgressStopItem), Qt::LeftButton);
    }
    EXPECT_EQ(BusyCallback(tb, kBusyPoll, 0, "", 10), c.result);
    EXPECT_EQ(asked, c.ask != Ask::kScanning);
    tb.DisposeDialog(progPtr);
    progPtr = {};
  }
}

// At its end the window lists every output with its verdict; the summary alert comes first.
TEST_F(QtShellWindows, TheResultsViewListsGoodDamagedAndUnwrittenOutputs) {
  LastRun() = RunResults{};
  LastRun().outputs = {{"/out/a.bin", "a.bin", 2048, OutputVerdict::kGood},
                        {"/out/b.bin", "b.bin", 700, OutputVerdict::kCrc},
                        {"", "c.bin", 0, OutputVerdict::kNotWritten}};
  LastRun().inputs = {{"/news/b.txt", false, KeptBecause::kDamagedOutput}};
  LastRun().disposal_requested = true;
  prefs.errors_to_progress = 1;
  OpenProgress(tb, progPtr);
  MsgCallBack(tb, kLevelError, "CRC mismatch for destination file '/out/b.bin'");
  MsgCallBack(tb, kLevelWarning, "Keeping '/news/b.txt': its output had errors");
  QDialog* window = tb.DialogWindow(progPtr);
  std::vector<std::vector<std::string>> rows;
  bool stop_hidden = false;
  WithAlert([&](QDialog* alert) {
    QTest::mouseClick(Item(alert, toolbox::kAlertDialogID, kAlertContinueItem), Qt::LeftButton);
    QTimer::singleShot(0, [&] {
      rows = tb.ListRows(progPtr, kProgressResultsItem);
      stop_hidden = !tb.ItemWidget(progPtr, kProgressStopItem)->isVisible();
      ExpectOnScreen(window);
      window->repaint();
      Screenshot(window, "results");
      QTest::keyClick(window, Qt::Key_Escape);  // closes the results view
    });
  });
  CloseProgress(tb, progPtr);
  const std::vector<std::vector<std::string>> expected = {{"a.bin", "2.0 KiB", "good"},
                                                          {"b.bin", "700 bytes", "damaged: CRC"},
                                                          {"c.bin", "", "not written"},
                                                          {"b.txt", "", "input kept"}};
  EXPECT_EQ(rows, expected);
  EXPECT_TRUE(stop_hidden);
  EXPECT_FALSE(progPtr);
  LastRun() = RunResults{};
}

TEST_F(QtShellWindows, TheAlertWrapsA255BytePathWithinTheScreen) {
  const std::string text = "Unable to open destination file '" + LongPath() + "' for writing, will skip all related parts";
  WithAlert([](QDialog* alert) {
    EXPECT_TRUE(QTest::qWaitForWindowExposed(alert));
    ExpectOnScreen(alert);
    auto* message = qobject_cast<toolbox::WrappedLabel*>(Item(alert, toolbox::kAlertDialogID, kAlertTextItem));
    ASSERT_NE(message, nullptr);
    EXPECT_GT(message->lineCount(), 2);
    EXPECT_GE(message->height(), message->heightForWidth(message->width()));
    EXPECT_TRUE(message->text().contains(QChar(0x2026)));
    EXPECT_TRUE(message->text().endsWith(QStringLiteral("will skip all related parts")));
    alert->repaint();
    Screenshot(alert, "alert-long-path");
    QTest::keyClick(alert->focusWidget(), Qt::Key_Space);
  });
  MsgCallBack(tb, kLevelError, text);
}

TEST_F(QtShellWindows, FlushingLetsTheWindowSystemThroughWhileTheRunBlocks) {
  OpenProgress(tb, progPtr);
  bool delivered = false;
  QTimer::singleShot(0, [&delivered] { delivered = true; });
  MsgCallBack(tb, kLevelWarning, "Segment 2 is missing");  // flushes, with no event loop turning
  EXPECT_TRUE(delivered);
}

TEST(QtFileTyping, TheMimeTypeLandsInTheFilesAttribute) {
  QtToolbox tb;
  test::TempDir dir;
  const std::string path = dir.file("photo.jpg");
  test::WriteBytes(path, "jpeg bytes");
  if (::setxattr(path.c_str(), "user.probe", "1", 1, 0) != 0) GTEST_SKIP() << "no user attributes on this file system";
  EXPECT_EQ(PostProcessOutput(tb, path), 0);
  char value[64] = {};
  const ssize_t length = ::getxattr(path.c_str(), "user.mime_type", value, sizeof value);
  ASSERT_GT(length, 0);
  EXPECT_EQ(std::string(value, static_cast<std::size_t>(length)), "image/jpeg");
  const std::string plain = dir.file("README");
  test::WriteBytes(plain, "text");
  EXPECT_EQ(PostProcessOutput(tb, plain), 0);
  EXPECT_LT(::getxattr(plain.c_str(), "user.mime_type", value, sizeof value), 0);
}

// Qt implements the same Trash rules: what it writes for a file must be what
// DisposeInput writes for the same kind of file.
TEST(QtTrashRules, DisposeInputWritesWhatQtsMoveToTrashWrites) {
  test::TempDir dir;
  test::ScopedEnv xdg("XDG_DATA_HOME", dir.file("data").c_str());
  const std::string files = FindTrashPath();
  const std::string info = fs::path(files).parent_path().string() + "/info";
  const std::string name = "a b%ä#.txt";
  fs::create_directories(dir.file("qt"));
  fs::create_directories(dir.file("ours"));
  const std::string by_qt = dir.file("qt/" + name);
  const std::string by_us = dir.file("ours/" + name);
  test::WriteBytes(by_qt, "1");
  test::WriteBytes(by_us, "2");

  QString trashed_as;
  if (!QFile::moveToTrash(QString::fromStdString(by_qt), &trashed_as))
    GTEST_SKIP() << "Qt cannot trash here";
  ASSERT_EQ(DisposeInput(by_us, false, true, files), 0);

  // Both files are in the same Trash, one under a new name, each with its info.
  ASSERT_TRUE(trashed_as.startsWith(QString::fromStdString(files + "/")));
  const std::string qt_name = fs::path(trashed_as.toStdString()).filename().string();
  EXPECT_EQ(qt_name, name);
  const std::string our_name = TrashCandidateName(name, 1);
  ASSERT_TRUE(fs::exists(files + "/" + our_name));
  const std::string qt_info = test::ReadBytes(info + "/" + qt_name + ".trashinfo");
  const std::string our_info = test::ReadBytes(info + "/" + our_name + ".trashinfo");
  const std::regex form(R"(\[Trash Info\]\nPath=(.*)\nDeletionDate=(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\n)");
  std::smatch qt_match, our_match;
  ASSERT_TRUE(std::regex_match(qt_info, qt_match, form)) << qt_info;
  ASSERT_TRUE(std::regex_match(our_info, our_match, form)) << our_info;
  // Qt 6.4 writes the path unescaped; later versions escape it as GLib and we do.
  EXPECT_TRUE(qt_match[1].str() == by_qt || qt_match[1].str() == PercentEncodePath(by_qt)) << qt_match[1].str();
  EXPECT_EQ(our_match[1].str(), PercentEncodePath(by_us));
  EXPECT_EQ(test::ReadBytes(files + "/" + name), "1");
}

}  // namespace
}  // namespace vantorelle::app
