// placement_dialogs_test.cpp - the file-name, directory and length questions through the scripted toolbox.
#include "placement_dialogs.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "run_state.hpp"
#include "test_support.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::app {
namespace {

using toolbox::ScriptedToolbox;
using Step = ScriptedToolbox::Step;

constexpr toolbox::ResID kFileName = toolbox::kFileNameDialogID;
constexpr toolbox::ResID kDirectory = toolbox::kDirectoryDialogID;
constexpr toolbox::ResID kLength = toolbox::kLengthDialogID;

Step Ok(std::string typed) { return {{{kPlacementField, std::move(typed)}}, kPlacementOK}; }
Step Hit(toolbox::DialogItemIndex item) { return {{}, item}; }

class PlacementDialogs : public testing::Test {
 protected:
  PlacementDialogs() {
    run_state() = RunState{};
    run_state().path_ = dir.path().string() + "/";
  }
  ~PlacementDialogs() override { run_state() = RunState{}; }

  // Checks what every placement question does around its answer.
  void ExpectShownModallyWithDefaultOK(toolbox::ResID id) {
    const auto& record = tb.last_dialog(id);
    EXPECT_TRUE(record.shown);
    EXPECT_TRUE(record.disposed);
    EXPECT_TRUE(record.data.at({kPlacementOK, toolbox::kControlPushButtonDefaultTag}));
    EXPECT_EQ(tb.cursor_resets(), 1);
    EXPECT_EQ(tb.open_dialogs(), 0);
    EXPECT_EQ(tb.UnusedAnswers(), "");
  }

  test::TempDir dir;
  ScriptedToolbox tb;
};

TEST_F(PlacementDialogs, FileNameAnswers) {
  const std::string long_name = std::string(126, 'n') + ".jpg";  // 130 characters
  struct Case {
    const char* name;
    std::vector<Step> steps;
    NameAnswer result;
    std::string answer;
    int beeps;  // one as the dialog opens, one per refusal
  };
  const NameAnswer use = NameAnswer::kUseResult;
  std::string japanese;
  for (int i = 0; i < 82; ++i) japanese += "\xe3\x81\x82";  // 246 bytes, 82 characters
  const Case cases[] = {
      {"OK with a short name", {Ok("short.jpg")}, use, "short.jpg", 1},
      {"OK without extension", {Ok("short")}, use, "short", 1},
      {"127 characters are taken", {Ok(std::string(127, 'a'))}, use, std::string(127, 'a'), 1},
      {"82 characters of 3 bytes are taken", {Ok(japanese)}, use, japanese, 1},
      {"128 characters are refused", {Ok(std::string(128, 'a')), Ok("b")}, use, "b", 2},
      {"130 characters refused, then the long name kept",
       {Ok(long_name), Hit(kFileNameKeepLong)}, NameAnswer::kKeepLong, "/previous/out.bin", 2},
      {"Cancel cancels the run", {Ok(std::string(200, 'c')), Hit(kPlacementCancel)}, NameAnswer::kCancelRun,
       "/previous/out.bin", 2},
  };
  for (const Case& c : cases) {
    ScriptedToolbox fresh;
    fresh.AnswerDialog(kFileName, c.steps);
    std::string result = "/previous/out.bin";
    EXPECT_EQ(QuerryFilename(fresh, long_name, result), c.result) << c.name;
    EXPECT_EQ(result, c.answer) << c.name;
    EXPECT_EQ(fresh.beeps(), c.beeps) << c.name;
    const auto& record = fresh.last_dialog(kFileName);
    EXPECT_EQ(record.hits.size(), c.steps.size()) << c.name;
    EXPECT_TRUE(record.disposed) << c.name;
  }
}

TEST_F(PlacementDialogs, FileNameShowsTheNameAndThePreviousOutput) {
  const std::string long_name(130, 'q');
  tb.AnswerDialog(kFileName, {Hit(kFileNameKeepLong)});
  std::string result = "/d/before.bin";
  QuerryFilename(tb, long_name, result);
  const auto& record = tb.last_dialog(kFileName);
  EXPECT_EQ(record.texts.at(kPlacementField), long_name);
  EXPECT_EQ(record.texts.at(kFileNamePrevious), "/d/before.bin");
  EXPECT_EQ(tb.beeps(), 1);
  ExpectShownModallyWithDefaultOK(kFileName);
}

TEST_F(PlacementDialogs, DirectoryAnswers) {
  // "@" stands for the scratch folder; a full path replaces path_, a name goes below it.
  const std::string at = dir.path().string();
  auto in = [&at](std::string text) {
    if (const auto mark = text.find('@'); mark != std::string::npos) text.replace(mark, 1, at);
    return text;
  };
  test::write_file(dir.file("file"), "a file, not a folder");
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool result;
    const char* directory;
    int beeps;
    std::string path = "@/";        // path_ afterwards
    std::vector<std::string> chosen = {};  // folder chooser replies, in turn
    std::string prompt = "";        // item 4 afterwards, when changed
  };
  const std::string why = "Cannot make the folder @/file: Not a directory";
  const Case cases[] = {
      {"OK with the proposal", {Hit(kPlacementOK)}, true, "holiday pictures ", 1},
      {"OK with a typed name, used unchanged", {Ok("a: b")}, true, "a: b", 1},
      {"OK with an empty field", {Ok("")}, true, "", 1},
      {"128 characters refused, then a short one", {Ok(std::string(128, 'd')), Ok("ok")}, true, "ok", 2},
      {"Cancel after a refused 130-character name", {Ok(std::string(130, 'd')), Hit(kPlacementCancel)}, false, "",
       2},
      {"a full path is made with its parents and used as given", {Ok(in("@/new/deep"))}, true, "", 1, "@/new/deep/"},
      {"a full path that cannot be made is refused with the reason", {Ok(in("@/file/sub")), Hit(kPlacementCancel)},
       false, "", 2, "@/", {}, why},
      {"Browse puts the folder chosen into the field", {Hit(kDirectoryBrowse), Hit(kPlacementOK)}, true, "", 1,
       "@/picked/", {"@/picked"}},
      {"a cancelled Browse leaves the field", {Hit(kDirectoryBrowse), Hit(kPlacementOK)}, true, "holiday pictures ", 1,
       "@/", {""}},
  };
  for (const Case& c : cases) {
    ScriptedToolbox fresh;
    fresh.AnswerDialog(kDirectory, c.steps);
    for (const std::string& folder : c.chosen) {
      fresh.AnswerFileChooser(folder.empty() ? toolbox::NavReplyRecord{} : toolbox::NavReplyRecord{true, {{in(folder)}}});
    }
    std::filesystem::create_directories(dir.file("picked"));
    run_state().path_ = at + "/";
    run_state().directory_ = "left over";
    EXPECT_EQ(QuerryDirectory(fresh, "holiday pictures "), c.result) << c.name;
    EXPECT_EQ(run_state().directory_, c.directory) << c.name;
    EXPECT_EQ(run_state().path_, in(c.path)) << c.name;
    EXPECT_EQ(fresh.beeps(), c.beeps) << c.name;
    EXPECT_EQ(fresh.log().at(4), "SetDialogItemText 141/3 holiday pictures ") << c.name;
    if (!c.prompt.empty()) {
      EXPECT_EQ(fresh.last_dialog(kDirectory).texts.at(kDirectoryPrompt), in(c.prompt)) << c.name;
    }
    EXPECT_TRUE(std::filesystem::is_directory(in(c.path) + c.directory)) << c.name;
    EXPECT_EQ(fresh.nav_replies_open(), 0) << c.name;
    EXPECT_EQ(fresh.UnusedAnswers(), "") << c.name;
  }
}

TEST_F(PlacementDialogs, DirectoryIsAskedModally) {
  tb.AnswerDialog(kDirectory, {Hit(kPlacementCancel)});
  QuerryDirectory(tb, "x");
  ExpectShownModallyWithDefaultOK(kDirectory);
  const std::vector<std::string> expected = {
      "InitCursor", "GetNewDialog 141", "ShowWindow 141", "SysBeep", "SetDialogItemText 141/3 x",
      "SetControlData 141/1 dflt 1", "ModalDialog 141 -> 2", "DisposeDialog 141"};
  EXPECT_EQ(tb.log(), expected);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(PlacementDialogs, LengthAnswers) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool result;
    std::int16_t length;
    int beeps;  // no beep as the dialog opens
  };
  const Case cases[] = {
      {"OK with the proposal", {Hit(kPlacementOK)}, true, 16, 0},
      {"12", {Ok("12")}, true, 12, 0},
      {"4 is the shortest taken", {Ok("4")}, true, 4, 0},
      {"3 refused, then 12", {Ok("3"), Ok("12")}, true, 12, 1},
      {"abc refused, then Cancel", {Ok("abc"), Hit(kPlacementCancel)}, false, 8, 1},
      {"Cancel after a refused 2", {Ok("2"), Hit(kPlacementCancel)}, false, 8, 1},
      {"-20 and 65539 refused (low 16 bits: 3)", {Ok("-20"), Ok("65539"), Ok(" 20 ")}, true, 20, 2},
  };
  for (const Case& c : cases) {
    ScriptedToolbox fresh;
    fresh.AnswerDialog(kLength, c.steps);
    run_state().dir_cmp_len_ = 8;
    EXPECT_EQ(QuerryDirectoryLength(fresh), c.result) << c.name;
    EXPECT_EQ(run_state().dir_cmp_len_, c.length) << c.name;
    EXPECT_EQ(fresh.beeps(), c.beeps) << c.name;
  }
}

TEST_F(PlacementDialogs, LengthProposesSixteenModally) {
  tb.AnswerDialog(kLength, {Hit(kPlacementCancel)});
  QuerryDirectoryLength(tb);
  EXPECT_EQ(tb.last_dialog(kLength).texts.at(kPlacementField), "16");
  EXPECT_EQ(tb.beeps(), 0);
  ExpectShownModallyWithDefaultOK(kLength);
}

}  // namespace
}  // namespace vantorelle::app
