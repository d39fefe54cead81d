// application_test.cpp - the desktop application end to end on the scripted toolbox: launches, drops, menus.
#include "application.hpp"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "article_writer.hpp"
#include "intake_table.hpp"
#include "document_intake.hpp"
#include "folder_options.hpp"
#include "input_disposal.hpp"
#include "preferences.hpp"
#include "progress_window.hpp"
#include "run_state.hpp"
#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/resources.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;
using namespace vantorelle::toolbox;
using test::ReadBytes;
using test::ScopedEnv;
using test::TempDir;
using test::WriteBytes;

constexpr ScriptedToolbox::Step Hit(DialogItemIndex item) { return {{}, item}; }

AppleEvent OpenDocuments(std::vector<std::string> paths) {
  AppleEvent event{kCoreEventClass, kAEOpenDocuments, {}};
  for (std::string& path : paths) event.direct_object.push_back({std::move(path)});
  return event;
}

class Application : public ::testing::Test {
 protected:
  Application() {
    Reset();
    fs::create_directories(config());
    tb.SetFolder(kPreferencesFolderType, config());
  }
  ~Application() override { Reset(); }

  static void Reset() {
    alive = false;
    optionKey_menu_ = shiftKey_menu_ = cmdKey_menu_ = controlKey_menu_ = false;
    run_state() = RunState{};
    prefs = Prefs{};
    progPtr = DialogRef{};
  }

  std::string config() const { return dir.file("config"); }
  std::string prefs_file() const { return config() + "/Vantorelle prefs"; }

  // A folder below the scratch folder, made when missing; ends without '/'.
  std::string Folder(const std::string& name) const {
    fs::create_directories(dir.file(name));
    return dir.file(name);
  }
  // An article file carrying `name` yEnc-encoded, in `folder`; returns its path.
  std::string Article(const std::string& folder, const std::string& file, const std::string& name,
                      const std::string& data) const {
    const std::string path = folder + "/" + file;
    std::string text;
    for (const std::string& article : test::yenc_articles("Posting of " + name, name, data, 1 << 20)) text += article;
    WriteBytes(path, text);
    return path;
  }
  std::string PlainFile(const std::string& folder, const std::string& file) const {
    WriteBytes(folder + "/" + file, "nothing encoded here\n");
    return folder + "/" + file;
  }
  int Count(ResID dialog) const {
    return static_cast<int>(std::count_if(tb.dialogs().begin(), tb.dialogs().end(),
                                          [dialog](const auto& d) { return d.id == dialog; }));
  }
  bool Logged(const std::string& line) const {
    return std::find(tb.log().begin(), tb.log().end(), line) != tb.log().end();
  }
  std::vector<std::string> StatusTexts() const {
    std::vector<std::string> texts;
    const std::string prefix = "SetDialogItemText 130/2 ";
    for (const std::string& line : tb.log())
      if (line.starts_with(prefix)) texts.push_back(line.substr(prefix.size()));
    return texts;
  }
  void PostKey(char character, EventModifiers modifiers) {
    EventRecord key;
    key.what = keyDown;
    key.message = static_cast<unsigned char>(character);
    key.modifiers = modifiers;
    tb.PostEvent(key);
  }
  // Fills the rest of the start-up burst, which drops what is not an Apple event.
  void PadBurst(ScriptedToolbox& toolbox, int events_so_far) {
    for (int i = events_so_far; i < kStartupBurstEvents; ++i) {
      EventRecord key;
      key.what = keyDown;
      key.message = 'x';
      toolbox.PostEvent(key);
    }
  }
  // A plain launch: the open-application event, then `script` in the loop, then quit.
  template <typename Script>
  int RunOpen(Script script) {
    tb.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
    PadBurst(tb, 1);
    script();
    tb.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
    return RunApplication(tb);
  }

  TempDir dir;
  ScopedEnv data_home{"XDG_DATA_HOME", dir.file("data").c_str()};
  ScriptedToolbox tb;
};

// ---- Launches --------------------------------------------------------------------------------

TEST_F(Application, ALaunchWithTwoFilesDecodesBothInOneRunDuringStartUpAndEnds) {
  const std::string d = Folder("in");
  const std::string a = Article(d, "a.txt", "one.bin", "first binary");
  const std::string b = Article(d, "b.txt", "two.bin", "second binary");
  tb.PostAppleEvent(OpenDocuments({a, b}));
  PadBurst(tb, 1);
  tb.PostMenuChoice(MenuChoice(kOptionsMenuID, 1));  // the 11th event: only a loop would take it

  EXPECT_EQ(RunApplication(tb), 0);
  EXPECT_EQ(ReadBytes(d + "/one.bin"), "first binary");
  EXPECT_EQ(ReadBytes(d + "/two.bin"), "second binary");
  EXPECT_EQ(Count(kProgressDialogID), 1) << "one run";
  EXPECT_FALSE(alive);
  EXPECT_FALSE(optionKey_menu_) << "the event loop ran";
  EXPECT_EQ(ReadBytes(prefs_file()), std::string(18, '\0'));
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST_F(Application, APlainLaunchStaysUntilQuitThenWritesThePreferencesAsRead) {
  const std::string ours = std::string("\x01\x00\x01\x00", 4) + std::string(14, '\0');
  // A file not understood switches nothing on and stays as it was.
  for (const std::string& file : {ours, std::string("\x01\x00\x01\x00", 4)}) {
    SCOPED_TRACE(file.size());
    WriteBytes(prefs_file(), file);
    tb.SetFolder(kTrashFolderType, Folder("elsewhere/Trash/files"));
    EXPECT_EQ(RunOpen([] {}), 0);
    EXPECT_EQ(trashpath, dir.file("elsewhere/Trash/files")) << "the Trash the toolbox finds";
    EXPECT_FALSE(alive);
    EXPECT_EQ(prefs.delete_inputs, file == ours ? 1 : 0);
    EXPECT_EQ(ReadBytes(prefs_file()), file);
    EXPECT_TRUE(tb.menu_bar_drawn());
  }
}

TEST_F(Application, PreferencesSetWithOkAreWrittenAtQuit) {
  tb.AnswerDialog(kPreferencesDialogID, {Hit(kPrefsTrashInputs), Hit(kPrefsOK)});
  RunOpen([&] { tb.PostMenuChoice(MenuChoice(kEditMenuID, 9)); });
  EXPECT_EQ(ReadBytes(prefs_file()), std::string(16, '\0') + std::string("\x01\x00", 2));
}

TEST_F(Application, OnlyTheFirstTenEventsCanCarryTheLaunch) {
  struct Case {
    int fillers;  // events queued before the open-application event
    bool stays_open;
  };
  for (const Case c : {Case{0, true}, Case{9, true}, Case{10, false}}) {
    SCOPED_TRACE(c.fillers);
    Reset();
    ScriptedToolbox fresh;
    fresh.SetFolder(kPreferencesFolderType, config());
    PadBurst(fresh, kStartupBurstEvents - c.fillers);
    fresh.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
    if (c.stays_open) {
      PadBurst(fresh, c.fillers + 1);
      fresh.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
    }
    fs::remove(prefs_file());
    EXPECT_EQ(RunApplication(fresh), 0);
    EXPECT_TRUE(fs::exists(prefs_file()));
    EXPECT_FALSE(alive);
    EventRecord left;
    // A launch event after the burst is never handled; quit was taken by the loop.
    EXPECT_EQ(fresh.GetNextEvent(everyEvent, left), !c.stays_open);
  }
}

TEST_F(Application, APrintLaunchDoesNothingAndEnds) {
  tb.PostAppleEvent({kCoreEventClass, kAEPrintDocuments, {{"/d/a.txt"}}});
  EXPECT_EQ(RunApplication(tb), 0);
  EXPECT_EQ(Count(kProgressDialogID), 0);
  EXPECT_TRUE(fs::exists(prefs_file()));
}

TEST_F(Application, HandlersAnswerAsTheSystemExpects) {
  AppleEvent reply;
  const AppleEvent none;
  EXPECT_EQ(AEOpen(none, reply, 0), errAEEventNotHandled);
  EXPECT_TRUE(alive) << "not handled, yet the application stays open";
  EXPECT_EQ(AEPrint(none, reply, 0), errAEEventNotHandled);
  EXPECT_TRUE(alive);
  EXPECT_EQ(AEQuit(none, reply, 0), noErr);
  EXPECT_FALSE(alive);
  tb.AnswerDialog(kPreferencesDialogID, {Hit(kPrefsCancel)});
  EXPECT_EQ(AEPreferences(tb, none, reply, 0), noErr);
  EXPECT_EQ(Count(kPreferencesDialogID), 1);
}

// ---- Menus and keys --------------------------------------------------------------------------

TEST_F(Application, EachOptionsItemTogglesItsFlagAndTheNextLaunchRemembersIt) {
  struct Case {
    DialogItemIndex item;
    bool* flag;
    bool RunState::*run_flag;
  };
  const Case cases[] = {
      {kAskDirectoryItem, &optionKey_menu_, &RunState::optionKey_},
      {kSubjectFoldersItem, &shiftKey_menu_, &RunState::shiftKey_},
      {kNameFoldersItem, &cmdKey_menu_, &RunState::cmdKey_},
      {kAskLengthItem, &controlKey_menu_, &RunState::controlKey_},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    const std::string key(FolderOptionKey(c.item));
    for (const int toggles : {1, 2}) {
      Reset();
      ScriptedToolbox first;
      first.SetFolder(kPreferencesFolderType, config());
      first.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
      PadBurst(first, 1);
      for (int i = 0; i < toggles; ++i) first.PostMenuChoice(MenuChoice(kOptionsMenuID, c.item));
      first.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
      RunApplication(first);
      const bool on = toggles == 1;
      EXPECT_EQ(*c.flag, on);
      EXPECT_EQ(first.remembered().at(key), on);
      EXPECT_EQ(first.GetItemMark(first.GetMenuHandle(kOptionsMenuID), c.item), on ? kCheckMark : kNoMark);

      // The next launch: the option is back, marked, and acts as its key at a drop.
      Reset();
      ScriptedToolbox next;
      next.SetFolder(kPreferencesFolderType, config());
      next.remembered() = first.remembered();
      const std::string plain = PlainFile(Folder("in"), "plain.txt");
      next.PostAppleEvent(OpenDocuments({plain}));
      next.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});  // "No encoded data found in ..."
      RunApplication(next);
      EXPECT_EQ(*c.flag, on);
      EXPECT_EQ(next.GetItemMark(next.GetMenuHandle(kOptionsMenuID), c.item), on ? kCheckMark : kNoMark);
      EXPECT_EQ(run_state().*c.run_flag, on);
    }
  }
}

TEST_F(Application, ChoicesWithoutACommandDoNothing) {
  // An open chooser or dialog would fail the script: none has an answer.
  RunOpen([&] {
    tb.PostMenuChoice(MenuChoice(kFileMenuID, 2));
    tb.PostMenuChoice(0);
    tb.PostMenuChoice(MenuChoice(kEditMenuID, 4));
    tb.PostMenuChoice(MenuChoice(kOptionsMenuID, 5));
  });
  EXPECT_TRUE(tb.dialogs().empty());
  EXPECT_EQ(tb.nav_loads(), 0);
  EXPECT_FALSE(optionKey_menu_);
}

TEST_F(Application, ACommandKeyRunsItsCommandTheSameKeyAloneDoesNot) {
  tb.AnswerFileChooser({false, {}});
  tb.AnswerDialog(kPreferencesDialogID, {Hit(kPrefsCancel)});
  RunOpen([&] {
    tb.PostCommandKey('o');
    PostKey('o', 0);
    PostKey(',', shiftKey);
    tb.PostCommandKey(',');
  });
  EXPECT_EQ(tb.nav_loads(), 1);
  EXPECT_EQ(Count(kPreferencesDialogID), 1);
  EXPECT_EQ(tb.UnusedAnswers(), "");
}

TEST_F(Application, TheQuitItemEndsTheLoop) {
  tb.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
  PadBurst(tb, 1);
  tb.PostCommandKey('q');
  EXPECT_EQ(RunApplication(tb), 0);
  EXPECT_FALSE(alive);
  EXPECT_TRUE(fs::exists(prefs_file()));
}

TEST_F(Application, AboutShowsTheAboutBox) {
  tb.AnswerDialog(kAboutDialogID, {Hit(kAboutCloseItem)});
  RunOpen([&] { tb.PostMenuChoice(MenuChoice(kApplicationMenuID, 1)); });
  EXPECT_EQ(Count(kAboutDialogID), 1);
  EXPECT_EQ(tb.open_dialogs(), 0);
}

// ---- Drops -----------------------------------------------------------------------------------

TEST_F(Application, EveryDropSetsAllFourFlagsFromTheKeysHeld) {
  struct Case {
    EventModifiers keys;
    bool menu_toggle;
    bool option, shift, control, cmd;
  };
  const Case cases[] = {
      {shiftKey | optionKey, false, true, true, false, false},
      {cmdKey, false, false, false, false, true},
      {controlKey, false, false, false, true, false},
      {0, true, true, false, false, false},
      {optionKey, true, true, false, false, false},
      {alphaLock | 0x2000 | 0x4000 | 0x8000, false, false, false, false, false},
      {0, false, false, false, false, false},
  };
  const std::string plain = PlainFile(Folder("in"), "plain.txt");
  // Start from the opposite of each flag, so that every one must be written.
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "keys " << c.keys << " toggle " << c.menu_toggle);
    run_state().optionKey_ = !c.option;
    run_state().shiftKey_ = !c.shift;
    run_state().controlKey_ = !c.control;
    run_state().cmdKey_ = !c.cmd;
    optionKey_menu_ = c.menu_toggle;
    tb.SetModifiers(c.keys);
    tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});  // after "No encoded data found in ..."
    AppleEvent reply;
    EXPECT_EQ(AEOpenDoc(tb, OpenDocuments({plain}), reply, 0), noErr);
    EXPECT_EQ(run_state().optionKey_, c.option);
    EXPECT_EQ(run_state().shiftKey_, c.shift);
    EXPECT_EQ(run_state().controlKey_, c.control);
    EXPECT_EQ(run_state().cmdKey_, c.cmd);
  }
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST_F(Application, TheOutputGoesBelowTheFirstFileAsDroppedButTheScanFollowsByteOrder) {
  const std::string a = Article(Folder("y"), "a.txt", "from-a.bin", "AAA");
  const std::string b = Article(Folder("x"), "b.txt", "from-b.bin", "BBB");
  AppleEvent reply;
  AEOpenDoc(tb, OpenDocuments({a, b}), reply, 0);
  EXPECT_EQ(run_state().path_, dir.file("y") + "/");
  EXPECT_EQ(ReadBytes(dir.file("y") + "/from-a.bin"), "AAA");
  EXPECT_EQ(ReadBytes(dir.file("y") + "/from-b.bin"), "BBB");
  EXPECT_FALSE(fs::exists(dir.file("x") + "/from-b.bin"));
  std::vector<std::string> scans;
  for (const std::string& text : StatusTexts())
    if (text.starts_with("Scanning: ") && (scans.empty() || scans.back() != text)) scans.push_back(text);
  EXPECT_EQ(scans, (std::vector<std::string>{"Scanning: b.txt", "Scanning: a.txt"}));
}

TEST_F(Application, InputsAreComparedByteWise) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"/d/part1.txt", "/d/part10.txt", -1},
      {"/d/part10.txt", "/d/part2.txt", -1},
      {"/d/Zebra", "/d/apple", -1},
      {"/d/z.txt", "/d/\xC3\xA9.txt", -1},  // bytes above 127 come after ASCII
      {"/d/a", "/d/a", 0},
      {"/x/b.txt", "/y/a.txt", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ((compare(c.a, c.b) > 0) - (compare(c.a, c.b) < 0), c.sign) << c.a << " vs " << c.b;
    EXPECT_EQ((compare(c.b, c.a) > 0) - (compare(c.b, c.a) < 0), -c.sign) << c.b << " vs " << c.a;
  }
}

TEST_F(Application, ListedMessagesEndTheRunWithTheSummaryWhileTheWindowIsOpen) {
  prefs.errors_to_progress = 1;
  const std::string d = Folder("in");
  // Part 2 of 3 alone: the missing parts are listed in the progress window.
  const auto parts = test::yenc_articles("Holiday", "photo.jpg", std::string(3000, 'p'), 1000);
  WriteBytes(d + "/part2.txt", parts[1]);
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  AppleEvent reply;
  AEOpenDoc(tb, OpenDocuments({d + "/part2.txt"}), reply, 0);
  EXPECT_GT(run_state().error_count, 0);
  EXPECT_EQ(tb.last_dialog(kAlertDialogID).texts.at(kAlertTextItem), "There where errors while decoding");
  const auto alert = std::find(tb.log().begin(), tb.log().end(), "GetNewDialog 131");
  const auto closed = std::find(tb.log().begin(), tb.log().end(), "DisposeDialog 130");
  EXPECT_LT(alert, closed);
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST_F(Application, AQuietRunEndsWithoutTheSummary) {
  prefs.errors_to_progress = 1;
  AppleEvent reply;
  AEOpenDoc(tb, OpenDocuments({Article(Folder("in"), "a.txt", "a.bin", "fine")}), reply, 0);
  EXPECT_EQ(Count(kAlertDialogID), 0);
  EXPECT_FALSE(progPtr);
}

TEST_F(Application, AFileWhosePathDoesNotFitIsNamedNotDecodedAndTheRestGoesOn) {
  const std::string deep = Folder(std::string(120, 'd') + "/" + std::string(120, 'e'));
  const std::string too_long = Article(deep, std::string(40, 'f') + ".txt", "deep.bin", "deep");
  ASSERT_GT(too_long.size(), 255u);
  const std::string fits = Article(Folder("in"), "a.txt", "a.bin", "fine");
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
  AppleEvent reply;
  AEOpenDoc(tb, OpenDocuments({too_long, fits}), reply, 0);
  EXPECT_EQ(ReadBytes(dir.file("in") + "/a.bin"), "fine");
  EXPECT_FALSE(fs::exists(deep + "/deep.bin"));
  EXPECT_EQ(run_state().path_, dir.file("in") + "/");
  const std::string& text = tb.last_dialog(kAlertDialogID).texts.at(kAlertTextItem);
  EXPECT_TRUE(text.starts_with("Skipped ")) << text;
  EXPECT_TRUE(text.ends_with("fff.txt: its path is longer than 255 bytes")) << text;
}

TEST_F(Application, DroppedPathsBecomeInputsAsOnTheCommandLine) {
  prefs.errors_to_progress = 1;  // refusals listed, not one alert each
  for (const test::IntakeCase& c : test::intake_cases()) {
    SCOPED_TRACE(c.what);
    TempDir fresh;
    const std::string folder = fs::canonical(fresh.str()).string();
    test::make_intake_tree(folder);
    // A drop names files by absolute paths; `link/../a.txt` stays as it is.
    const auto dropped = [&folder](const std::string& given) { return given[0] == '/' ? given : folder + "/" + given; };
    std::vector<std::string> paths;
    std::transform(c.given.begin(), c.given.end(), std::back_inserter(paths), dropped);
    ScriptedToolbox toolbox;
    if (!c.refused.empty()) toolbox.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});
    AppleEvent reply;
    AEOpenDoc(toolbox, OpenDocuments(paths), reply, 0);  // returns: nothing blocks on the FIFO
    const std::string message = "SetDialogItemText 130/" + std::to_string(kProgressMessageItem) + " ";
    std::vector<std::string> listed, refused;
    for (const std::string& line : toolbox.log())
      if (line.starts_with(message)) listed.push_back(line.substr(message.size()));
    for (const auto& [given, why] : c.refused) refused.push_back("Skipped " + dropped(given) + ": " + why);
    EXPECT_EQ(listed, refused);
    EXPECT_EQ(test::outputs_below(folder), c.outputs);
  }
}

// ---- The open-file command ---------------------------------------------------------------------

TEST_F(Application, OpenSetsTheFlagsAsADropFromTheOptionsMenu) {
  const std::string d = Folder("in");
  tb.SetModifiers(shiftKey);
  tb.AnswerDialog(kAlertDialogID, {Hit(kAlertContinueItem)});  // nothing found: the summary
  AppleEvent reply;
  AEOpenDoc(tb, OpenDocuments({PlainFile(d, "plain.txt")}), reply, 0);
  tb.SetModifiers(0);
  cmdKey_menu_ = true;
  tb.AnswerFileChooser({true, {{Article(d, "rome.txt", "Rome2004.jpg", "colosseum")}}});
  EXPECT_EQ(OpenDoc(tb), 1);
  EXPECT_TRUE(run_state().cmdKey_);
  EXPECT_FALSE(run_state().shiftKey_) << "the latest drop's keys do not stay";
  EXPECT_EQ(ReadBytes(d + "/Rome/Rome2004.jpg"), "colosseum");
}

TEST_F(Application, OpenDecodesEveryChosenFileInOneRun) {
  const std::string first = Article(Folder("one"), "1.txt", "first.bin", "1");
  const std::string second = Article(Folder("two"), "2.txt", "second.bin", "2");
  const std::string third = Article(Folder("one"), "3.txt", "third.bin", "3");
  tb.AnswerFileChooser({true, {{first}, {second}, {third}}});
  EXPECT_EQ(OpenDoc(tb), 1);
  EXPECT_EQ(Count(kProgressDialogID), 1) << "one run";
  for (const char* output : {"first.bin", "second.bin", "third.bin"}) {
    EXPECT_TRUE(fs::exists(dir.file("one") + "/" + output)) << output << " beside the first file chosen";
  }
  EXPECT_EQ(run_state().path_, dir.file("one") + "/");
  EXPECT_EQ(tb.nav_loads(), tb.nav_unloads());
  EXPECT_EQ(tb.nav_replies_open(), 0);
}

TEST_F(Application, CancellingOpenChangesNothing) {
  run_state().path_ = "/before/";
  run_state().shiftKey_ = true;
  tb.AnswerFileChooser({false, {}});
  EXPECT_EQ(OpenDoc(tb), 0);
  EXPECT_TRUE(tb.dialogs().empty()) << "no progress window";
  EXPECT_EQ(run_state().path_, "/before/");
  EXPECT_TRUE(run_state().shiftKey_);
  EXPECT_EQ(tb.nav_loads(), tb.nav_unloads());
  EXPECT_EQ(tb.nav_replies_open(), 0);
}

TEST_F(Application, DropsOnTheRunningApplicationAreDecodedAndItStaysOpen) {
  const std::string a = Article(Folder("in"), "a.txt", "late.bin", "late");
  const std::string b = Article(Folder("in"), "b.txt", "later.bin", "later");
  RunOpen([&] {
    tb.PostAppleEvent(OpenDocuments({a}));
    tb.PostAppleEvent(OpenDocuments({b}));
  });
  EXPECT_EQ(ReadBytes(dir.file("in") + "/late.bin"), "late");
  EXPECT_EQ(ReadBytes(dir.file("in") + "/later.bin"), "later");
  EXPECT_EQ(Count(kProgressDialogID), 2);
}

TEST_F(Application, OpeningTheProgressWindowLeavesAppleEventsQueued) {
  PostKey('a', 0);
  tb.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
  tb.PostAppleEvent(OpenDocuments({"/d/a.txt"}));
  PostKey('b', 0);
  PostKey('c', 0);
  PostKey('d', 0);
  OpenProgress(tb, progPtr);
  std::vector<std::uint16_t> left;
  EventRecord event;
  while (tb.GetNextEvent(everyEvent, event)) left.push_back(event.what);
  EXPECT_EQ(left, (std::vector<std::uint16_t>{kHighLevelEvent, kHighLevelEvent, keyDown}));
  CloseProgress(tb, progPtr);
}

TEST_F(Application, EventsOfTheBurstThatAreNotAppleEventsAreDropped) {
  tb.PostAppleEvent({kCoreEventClass, kAEOpenApplication, {}});
  tb.PostMenuChoice(MenuChoice(kOptionsMenuID, 1));
  tb.PostCommandKey('o');  // no chooser reply: opening it would fail the script
  PadBurst(tb, 3);
  tb.PostAppleEvent({kCoreEventClass, kAEQuitApplication, {}});
  EXPECT_EQ(RunApplication(tb), 0);
  EXPECT_FALSE(optionKey_menu_);
  EXPECT_EQ(tb.nav_loads(), 0);
}

}  // namespace
}  // namespace vantorelle::app
