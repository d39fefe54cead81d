// progress_window_test.cpp - message routing, the alert, the busy hook and the about box on the scripted toolbox.
#include "progress_window.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "article_writer.hpp"
#include "decode_run.hpp"
#include "output_placement.hpp"
#include "preferences.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "test_support.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::app {
namespace {

using toolbox::ExitToShellCalled;
using toolbox::ScriptedToolbox;
using toolbox::kAlertDialogID;
using toolbox::kControlProgressBarIndeterminateTag;
using toolbox::kProgressDialogID;

constexpr ScriptedToolbox::Step Hit(toolbox::DialogItemIndex item) { return {{}, item}; }

class ShellWindows : public ::testing::Test {
 protected:
  ShellWindows() { Reset(); }
  ~ShellWindows() override { Reset(); }

  static void Reset() {
    run_state() = RunState{};
    prefs = Prefs{};
    progPtr = toolbox::DialogRef{};
  }

  const ScriptedToolbox::DialogRecord& progress() const { return tb.last_dialog(kProgressDialogID); }
  std::string progress_text(toolbox::DialogItemIndex item) const {
    auto it = progress().texts.find(item);
    return it == progress().texts.end() ? std::string() : it->second;
  }
  bool indeterminate() const { return progress().data.at({kProgressBarItem, kControlProgressBarIndeterminateTag}); }
  int alerts() const { return alerts_in(tb); }
  static int alerts_in(const ScriptedToolbox& box) {
    return static_cast<int>(std::count_if(box.dialogs().begin(), box.dialogs().end(),
                                          [](const auto& d) { return d.id == kAlertDialogID; }));
  }

  ScriptedToolbox tb;
};

TEST_F(ShellWindows, OpenProgressShowsTheTitledWindowWithAnIndeterminateBar) {
  OpenProgress(tb, progPtr);
  ASSERT_TRUE(progPtr);
  EXPECT_TRUE(progress().shown);
  EXPECT_EQ(progress().title, "Vantorelle");
  EXPECT_TRUE(indeterminate());
  EXPECT_EQ(tb.GetPort(), progPtr);
  EXPECT_EQ(tb.beeps(), 0);
}

TEST_F(ShellWindows, MessagesAreRoutedByLevelWindowAndPreference) {
  enum Outcome { kNothing, kListed, kAlert };
  struct Case {
    int level;
    bool window;
    bool errors_to_progress;
    Outcome outcome;
  };
  const Case cases[] = {
      {0, true, false, kAlert},   {0, true, true, kListed},    {0, false, false, kAlert},
      {0, false, true, kAlert},   // no window to list it in: the error is not dropped
      {1, true, false, kListed},  {1, true, true, kListed},    {1, false, false, kNothing},
      {2, true, true, kNothing},  {2, false, false, kNothing}, {9, true, true, kAlert},
      {9, false, false, kAlert},  {5, true, true, kNothing},   {-1, true, false, kNothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("level " + std::to_string(c.level) + (c.window ? " window" : " no window") +
                 (c.errors_to_progress ? " to progress" : ""));
    Reset();
    ScriptedToolbox box;
    prefs.errors_to_progress = c.errors_to_progress ? 5 : 0;  // any non-zero word is on
    if (c.window) OpenProgress(box, progPtr);
    const int flushes_before = c.window ? box.last_dialog(kProgressDialogID).flushes : 0;
    if (c.outcome == kAlert) box.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
    const std::string text = "Message of level " + std::to_string(c.level);

    EXPECT_EQ(MsgCallBack(box, c.level, text), 1);

    EXPECT_EQ(run_state().error_count, c.outcome == kListed ? 1 : 0);
    EXPECT_EQ(box.beeps(), c.outcome == kAlert ? 1 : 0);
    EXPECT_EQ(box.UnusedAnswers(), "");
    if (c.window) {
      const auto& window = box.last_dialog(kProgressDialogID);
      const auto shown = window.texts.find(kProgressMessageItem);
      EXPECT_EQ(shown != window.texts.end() && shown->second == text, c.outcome == kListed);
      EXPECT_EQ(window.flushes - flushes_before, c.outcome == kListed ? 1 : 0);
    }
    if (c.outcome == kAlert) {
      const auto& alert = box.last_dialog(kAlertDialogID);
      EXPECT_EQ(alert.texts.at(kAlertTextItem), text);
      EXPECT_TRUE(alert.disposed);
      EXPECT_EQ(box.cursor_resets(), 1);
    }
    EXPECT_EQ(box.open_dialogs(), c.window ? 1 : 0);
  }
}

TEST_F(ShellWindows, EachListedMessageReplacesThePreviousAndIsCounted) {
  OpenProgress(tb, progPtr);
  MsgCallBack(tb, kLevelWarning, "a.jpg: segment 3 is missing");
  MsgCallBack(tb, kLevelWarning, "a.jpg: segment 4 is missing");
  EXPECT_EQ(progress_text(kProgressMessageItem), "a.jpg: segment 4 is missing");
  EXPECT_EQ(run_state().error_count, 2);
}

TEST_F(ShellWindows, TheAlertBeepsAfterShowingAndIgnoresNothingButItsTwoButtons) {
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  MsgCallBack(tb, kLevelError, "CRC error in 'b.zip'");
  const std::vector<std::string> expected = {
      "InitCursor", "GetNewDialog 131", "ShowWindow 131", "SysBeep",
      "SetDialogItemText 131/3 CRC error in 'b.zip'", "ModalDialog 131 -> 1", "DisposeDialog 131"};
  EXPECT_EQ(tb.log(), expected);
}

TEST_F(ShellWindows, TheAlertsQuitEndsTheRunAfterDisposingOfTheAlert) {
  OpenProgress(tb, progPtr);
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertQuitItem)});
  EXPECT_THROW(MsgCallBack(tb, kLevelError, "Unable to open 'x'"), ExitToShellCalled);
  EXPECT_TRUE(tb.last_dialog(kAlertDialogID).disposed);
  EXPECT_EQ(tb.log().back(), "ExitToShell");

  // Quit while an output is being written: it goes, one finished before stays.
  test::TempDir folder;
  auto damaged = test::yenc_articles("bad", "bad.bin", std::string(3000, 'b'), 1000);
  damaged[0][damaged[0].find("pcrc32=") + 7] ^= 1;
  test::write_file(folder.file("in.txt"), test::yenc_articles("good", "good.bin", "g", 10)[0] + damaged[0] +
                                              damaged[1] + damaged[2]);
  run_state().path_ = folder.str() + "/";
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertQuitItem)});
  RunHooks hooks;
  hooks.message = [this](int level, std::string_view text) { return MsgCallBack(tb, level, text); };
  hooks.file_name_filter = [](std::string& name) { return FNameFilter(name); };
  EXPECT_THROW(xmain({"Vantorelle", folder.file("in.txt")}, hooks), ExitToShellCalled);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "in.txt and good.bin";
  EXPECT_EQ(test::read_file(folder.file("good.bin")), "g");
}

// The quit button ends the process there and then: whatever would follow
// (the orderly way out writes the preference file) never happens.
TEST(ShellWindowsQuit, QuitEndsTheProcessWithoutWritingThePreferences) {
  test::TempDir config;
  const std::string prefs_file = config.file(std::string(kPrefsFileName));
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        test::ScopedEnv env("XDG_CONFIG_HOME", config.str().c_str());
        ScriptedToolbox box;
        box.AnswerDialog(kAlertDialogID, {Hit(kAlertQuitItem)});
        try {
          MsgCallBack(box, kLevelError, "Unable to open 'x'");
        } catch (const ExitToShellCalled&) {
          std::_Exit(7);  // what the desktop backend does at this point
        }
        PutPrefs(box, kPrefsFileName, kPrefsSize, prefs);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(7), "");
  EXPECT_FALSE(std::filesystem::exists(prefs_file));
}

TEST_F(ShellWindows, ClosingTheProgressWindowAlertsOnlyAfterListedMessages) {
  for (int count : {0, 1, 3}) {
    SCOPED_TRACE(count);
    Reset();
    ScriptedToolbox box;
    LastRun() = RunResults{};
    // Open Folder, then Escape (the Stop item) closes the results view.
    if (count > 0) box.AnswerDialog(kProgressDialogID, {Hit(kProgressOpenFolderItem), Hit(kProgressStopItem)});
    OpenProgress(box, progPtr);
    for (int i = 0; i < count; ++i) MsgCallBack(box, kLevelWarning, "missing part");
    if (count > 0) box.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
    CloseProgress(box, progPtr);
    const auto& window = box.last_dialog(kProgressDialogID);
    const auto listed = window.rows.find(kProgressListItem);
    EXPECT_EQ(listed == window.rows.end() ? 0u : listed->second.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(window.hidden.count(kProgressCloseItem) != 0 && !window.hidden.at(kProgressCloseItem), count > 0);
    EXPECT_EQ(std::count(box.log().begin(), box.log().end(), "OpenFolder ."), count > 0 ? 1 : 0);
    EXPECT_FALSE(progPtr);
    EXPECT_EQ(box.open_dialogs(), 0);
    EXPECT_EQ(box.UnusedAnswers(), "");
    const bool alerted = std::any_of(box.dialogs().begin(), box.dialogs().end(),
                                     [](const auto& d) { return d.id == kAlertDialogID; });
    EXPECT_EQ(alerted, count > 0);
    if (alerted) {
      EXPECT_EQ(box.last_dialog(kAlertDialogID).texts.at(kAlertTextItem), kSummaryText);
      // The summary is shown over the progress window, which goes after it.
      const auto& log = box.log();
      EXPECT_LT(std::find(log.begin(), log.end(), "DisposeDialog 131"),
                std::find(log.begin(), log.end(), "DisposeDialog 130"));
    }
  }
}

// A quit that arrives during the run stops it at the next poll; the run then
// ends without the summary or the results, and the quit stays queued for the
// event loop. One queued before the run waits for its end.
TEST_F(ShellWindows, AQuitDuringTheRunStopsItAndEndsItWithoutTheResults) {
  for (const bool before : {false, true}) {
    SCOPED_TRACE(before ? "queued before the run" : "during the run");
    Reset();
    ScriptedToolbox box;
    const toolbox::AppleEvent quit{toolbox::kCoreEventClass, toolbox::kAEQuitApplication, {}};
    if (before) box.PostAppleEvent(quit);
    OpenProgress(box, progPtr);
    MsgCallBack(box, kLevelWarning, "Missing segment 2 for 'a.bin'");
    EXPECT_EQ(BusyCallback(box, kBusyPoll, 0, "", 0), 0);
    if (!before) box.PostAppleEvent(quit);
    EXPECT_EQ(BusyCallback(box, kBusyDecoding, 0, "/out/a.bin", 50), before ? 0 : 1);
    if (before) box.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
    CloseProgress(box, progPtr);
    EXPECT_EQ(alerts_in(box), before ? 1 : 0);
    toolbox::EventRecord event;
    EXPECT_TRUE(box.EventAvail(toolbox::highLevelEventMask, event)) << "the quit is left for the loop";
  }
}

TEST_F(ShellWindows, ErrorsStoppedInTheAlertAreNotCountedForTheSummary) {
  tb.AnswerDialog(kProgressDialogID, {Hit(kProgressCloseItem)});  // listed all the same: the results view
  OpenProgress(tb, progPtr);
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  MsgCallBack(tb, kLevelError, "write failed");
  CloseProgress(tb, progPtr);
  EXPECT_EQ(alerts(), 1);
}

TEST_F(ShellWindows, BusyHookShowsNamesAndDrivesTheBar) {
  OpenProgress(tb, progPtr);
  struct Step {
    int type;
    int state;
    const char* text;
    int percent;
    const char* status;  // item 2 afterwards
    bool indeterminate;
    int value;  // bar value afterwards
  };
  const Step steps[] = {
      {1, 0, "/home/u/news/part1.txt", 0, "Scanning: part1.txt", true, 0},
      {0, 0, "/ignored/name", 0, "Scanning: part1.txt", true, 0},
      {1, 0, "plain.txt", 0, "Scanning: plain.txt", true, 0},
      {1, 0, "/folder/", 0, "Scanning: ", true, 0},
      {2, -1, "/out/photo.jpg", 0, "Decoding: photo.jpg", false, 0},
      // Part 1 spans 0 to 50: the bar starts at its start and moves as polls say it is read.
      {2, 0, "/out/photo.jpg", 50, "Decoding: photo.jpg", false, 0},
      {0, 0, "", 50, "Decoding: photo.jpg", false, 25},
      {2, 0, "/out/photo.jpg", 0x10000 + 75, "Decoding: photo.jpg", false, 50},  // low 16 bits
      {0, 0, "", 100, "Decoding: photo.jpg", false, 75},
      {0, 0, "", 0, "Decoding: photo.jpg", false, 75},
      {1, 0, "/home/u/news/part2.txt", 0, "Scanning: part2.txt", true, 75},
  };
  int idles = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.status);
    EXPECT_EQ(BusyCallback(tb, s.type, s.state, s.text, s.percent), 0);
    ++idles;
    EXPECT_EQ(progress_text(kProgressStatusItem), s.status);
    EXPECT_EQ(indeterminate(), s.indeterminate);
    EXPECT_EQ(tb.GetControlValue(progPtr, kProgressBarItem), s.value);
    EXPECT_EQ(progress().idles, idles);
    EXPECT_EQ(progress().flushes, idles);
  }
}

TEST_F(ShellWindows, BusyHookWithoutAWindowDoesNothing) {
  for (int type : {0, 1, 2}) {
    EXPECT_EQ(BusyCallback(tb, type, -1, "/a/b.txt", 10), 0);
  }
  EXPECT_TRUE(tb.log().empty());
}

TEST_F(ShellWindows, ANameTooLongForTheStatusIsCutVisiblyKeepingItsEnd) {
  OpenProgress(tb, progPtr);
  const std::string name = std::string(300, 'n') + "-end.jpg";
  BusyCallback(tb, kBusyDecoding, -1, "/out/" + name, 0);
  const std::string status = progress_text(kProgressStatusItem);
  EXPECT_LE(status.size(), 255u);
  EXPECT_TRUE(status.starts_with("Decoding: nnn"));
  EXPECT_TRUE(status.ends_with("nnn-end.jpg"));
  EXPECT_NE(status.find("…"), std::string::npos);
}

TEST(FitItemText, CutsOnlyLongTextsInTheMiddleOnCharacterBoundaries) {
  struct Case {
    std::string text;
    bool cut;
  };
  const Case cases[] = {
      {"", false},
      {std::string(255, 'a'), false},
      {std::string(256, 'a'), true},
      {std::string(300, 'a') + "tail", true},
      {[] {
         std::string s;
         for (int i = 0; i < 200; ++i) s += "é";  // two bytes each
         return s;
       }(),
       true},
      {[] {
         std::string s;
         for (int i = 0; i < 100; ++i) s += "€";  // three bytes each
         return s;
       }(),
       true},
      {std::string(400, '\xFF'), true},  // not UTF-8: cut where it falls
      {std::string(400, '\x80'), true},  // continuation bytes only: cut where it falls too
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    const std::string fitted = FitItemText(c.text);
    if (!c.cut) {
      EXPECT_EQ(fitted, c.text);
      continue;
    }
    EXPECT_LE(fitted.size(), 255u);
    EXPECT_GE(fitted.size(), 250u);
    const auto mark = fitted.find("…");
    ASSERT_NE(mark, std::string::npos);
    EXPECT_TRUE(c.text.starts_with(fitted.substr(0, mark)));
    EXPECT_TRUE(c.text.ends_with(fitted.substr(mark + 3)));
    if (c.text[0] != '\xFF' && c.text[0] != '\x80') {
      // Both parts are whole characters: neither begins with a continuation byte.
      const std::string tail = fitted.substr(mark + 3);
      EXPECT_TRUE(tail.empty() || (static_cast<unsigned char>(tail[0]) & 0xC0u) != 0x80u);
      EXPECT_NE(static_cast<unsigned char>(fitted[mark - 1]) & 0xE0u, 0xC0u);  // no lead byte left alone
    }
  }
}

TEST(DisplayName, IsThePartAfterTheLastSlash) {
  EXPECT_EQ(DisplayName("/a/b/c.txt"), "c.txt");
  EXPECT_EQ(DisplayName("c.txt"), "c.txt");
  EXPECT_EQ(DisplayName("/a/"), "");
  EXPECT_EQ(DisplayName(""), "");
}

TEST_F(ShellWindows, LongMessagesAreCutVisiblyInTheWindowAndTheAlert) {
  const std::string message = "Unable to open '" + std::string(300, 'p') + "', will skip all related parts";
  OpenProgress(tb, progPtr);
  MsgCallBack(tb, kLevelWarning, message);
  EXPECT_TRUE(progress_text(kProgressMessageItem).ends_with("will skip all related parts"));
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  MsgCallBack(tb, kLevelError, message);
  const std::string shown = tb.last_dialog(kAlertDialogID).texts.at(kAlertTextItem);
  EXPECT_TRUE(shown.starts_with("Unable to open 'ppp"));
  EXPECT_NE(shown.find("…"), std::string::npos);
}

TEST_F(ShellWindows, AboutBoxWaitsForItsButtonWithoutABeep) {
  tb.AnswerDialog(toolbox::kAboutDialogID, {Hit(kAboutCloseItem)});
  DisplayAbout(tb);
  EXPECT_EQ(tb.beeps(), 0);
  EXPECT_EQ(tb.cursor_resets(), 1);
  EXPECT_TRUE(tb.last_dialog(toolbox::kAboutDialogID).disposed);
  EXPECT_EQ(tb.last_dialog(toolbox::kAboutDialogID).texts.at(kAboutNameItem), "Vantorelle " VANTORELLE_VERSION);
  EXPECT_EQ(tb.UnusedAnswers(), "");
}

TEST_F(ShellWindows, DisplayErrorFormatsAndShowsOnlyWhenAsked) {
  DisplayError(tb, false, "%d files", 3);
  EXPECT_TRUE(tb.dialogs().empty());
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  DisplayError(tb, true, "%d files in '%s'", 3, "news");
  EXPECT_EQ(tb.last_dialog(kAlertDialogID).texts.at(kAlertTextItem), "3 files in 'news'");
  EXPECT_EQ(tb.beeps(), 1);
}

}  // namespace
}  // namespace vantorelle::app
