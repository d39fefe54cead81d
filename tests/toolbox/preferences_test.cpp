// preferences_test.cpp - the preference file's format and replacement, and the preferences dialog.
#include "preferences.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "toolbox_test_support.hpp"
#include "vantorelle/toolbox/scripted_toolbox.hpp"

namespace vantorelle::app {
namespace {

using toolbox::ScriptedToolbox;
using Step = ScriptedToolbox::Step;

class PreferencesTest : public ::testing::Test {
 protected:
  PreferencesTest() { tb.SetFolder(toolbox::kPreferencesFolderType, folder.str()); }
  std::string FilePath() const { return folder.file("Vantorelle prefs"); }

  test::TempDir folder;
  ScriptedToolbox tb;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST_F(PreferencesTest, OnlyOurOwnRecordIsUsedAndAnythingElseSwitchesEverythingOff) {
  struct Case {
    const char* name;
    std::string file;
    int result;
    bool understood;
    Prefs expected;
  };
  Prefs first_two;
  first_two.errors_to_progress = 1;
  first_two.delete_inputs = 1;
  Prefs trash_only;
  trash_only.trash_inputs = 1;
  const std::string eighteen = Bytes({1, 0, 1, 0}) + std::string(14, '\0');
  const Case cases[] = {
      {"eighteen bytes 01 00 01 00 ...", eighteen, 1, true, first_two},
      {"only trash_inputs", std::string(16, '\0') + Bytes({1, 0}), 1, true, trash_only},
      {"four bytes 01 00 01 00", Bytes({1, 0, 1, 0}), 0, false, Prefs{}},
      {"twenty bytes", eighteen + Bytes({9, 9}), 0, false, Prefs{}},
      {"empty file", "", 0, false, Prefs{}},
      {"a flag of 5", Bytes({5, 0}) + std::string(16, '\0'), 0, false, Prefs{}},
      {"delete_inputs of -1", Bytes({0, 0, 0xFF, 0xFF}) + std::string(14, '\0'), 0, false, Prefs{}},
      {"a reserved word set", Bytes({0, 0, 1, 0, 7, 0}) + std::string(12, '\0'), 0, false, Prefs{}},
      {"another program's eighteen bytes", "not our own file\n\n", 0, false, Prefs{}},
  };
  for (const Case& c : cases) {
    test::WriteBytes(FilePath(), c.file);
    Prefs record = first_two;  // what a file not understood must not leave on
    record.trash_inputs = 1;
    bool understood = !c.understood;
    EXPECT_EQ(GetPrefs(tb, kPrefsFileName, kPrefsSize, record, &understood), c.result) << c.name;
    EXPECT_EQ(understood, c.understood) << c.name;
    EXPECT_EQ(record, c.expected) << c.name;
  }
}

TEST_F(PreferencesTest, FirstLaunchReadsNothingAndWritesEighteenZeroBytes) {
  Prefs record;
  EXPECT_EQ(GetPrefs(tb, kPrefsFileName, kPrefsSize, record), 0);
  EXPECT_EQ(record, Prefs{});
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, record), 1);
  EXPECT_EQ(test::ReadBytes(FilePath()), std::string(18, '\0'));
}

TEST_F(PreferencesTest, WordsAreWrittenLittleEndian) {
  Prefs record;
  record.trash_inputs = 1;
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, record), 1);
  EXPECT_EQ(test::ReadBytes(FilePath()), std::string(16, '\0') + Bytes({1, 0}));
  record = Prefs{};
  record.delete_inputs = -2;
  record.reserved[0] = 0x1234;
  PutPrefs(tb, kPrefsFileName, kPrefsSize, record);
  EXPECT_EQ(test::ReadBytes(FilePath()).substr(0, 6), Bytes({0, 0, 0xFE, 0xFF, 0x34, 0x12}));
}

TEST_F(PreferencesTest, ARecordReadIsWrittenBackAsItWas) {
  const std::string original = Bytes({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0});
  test::WriteBytes(FilePath(), original);
  Prefs record;
  ASSERT_EQ(GetPrefs(tb, kPrefsFileName, kPrefsSize, record), 1);
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, record), 1);
  EXPECT_EQ(test::ReadBytes(FilePath()), original);
}

TEST_F(PreferencesTest, WritingReplacesALongerFileWhole) {
  test::WriteBytes(FilePath(), std::string(40, 'x'));
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, Prefs{}), 1);
  EXPECT_EQ(test::ReadBytes(FilePath()), std::string(18, '\0'));
}

TEST_F(PreferencesTest, AMissingPreferencesFolderIsMadeWhenWriting) {
  ScriptedToolbox xdg;  // no override: the real XDG lookup
  test::ScopedEnv config("XDG_CONFIG_HOME", (folder.str() + "/new/config").c_str());
  Prefs record;
  EXPECT_EQ(GetPrefs(xdg, kPrefsFileName, kPrefsSize, record), 0);
  EXPECT_EQ(PutPrefs(xdg, kPrefsFileName, kPrefsSize, record), 1);
  EXPECT_EQ(test::ReadBytes(folder.file("new/config/Vantorelle prefs")).size(), 18u);
}

TEST_F(PreferencesTest, NoPreferencesFolderMeansNothingReadOrWritten) {
  tb.SetFolder(toolbox::kPreferencesFolderType, "");
  Prefs record;
  record.delete_inputs = 1;
  EXPECT_EQ(GetPrefs(tb, kPrefsFileName, kPrefsSize, record), 0);
  EXPECT_EQ(record.delete_inputs, 1);
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, record), 0);
}

// Limits the size of files this process may write, so a write fails part way.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

TEST_F(PreferencesTest, AFailedWriteKeepsThePreviousFileAndReportsFailure) {
  const std::string previous = Bytes({1, 0, 1, 0}) + std::string(12, '\0') + Bytes({1, 0});
  test::WriteBytes(FilePath(), previous);
  int result = -1;
  {
    FileSizeLimit limit(10);
    result = PutPrefs(tb, kPrefsFileName, kPrefsSize, Prefs{});
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(test::ReadBytes(FilePath()), previous);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.str())) ++files;
  EXPECT_EQ(files, 1) << "the half-written file must not be left behind";
}

TEST_F(PreferencesTest, AFolderThatIsAFileFailsWithoutHarm) {
  test::WriteBytes(folder.file("plain"), "x");
  tb.SetFolder(toolbox::kPreferencesFolderType, folder.file("plain"));
  Prefs record;
  EXPECT_EQ(GetPrefs(tb, kPrefsFileName, kPrefsSize, record), 0);
  EXPECT_EQ(PutPrefs(tb, kPrefsFileName, kPrefsSize, record), 0);
  EXPECT_EQ(test::ReadBytes(folder.file("plain")), "x");
}

// ---- The dialog ----------------------------------------------------------------------

TEST(DisplayPrefsTest, ShowsTheRecordAndStoresTheBoxesOnOK) {
  ScriptedToolbox tb;
  tb.AnswerDialog(toolbox::kPreferencesDialogID, {{{}, 6}, {{}, 4}, {{}, 1}});
  Prefs record;
  record.errors_to_progress = 1;
  record.reserved[3] = 77;
  DisplayPrefs(tb, record);
  EXPECT_EQ(record.errors_to_progress, 0);
  EXPECT_EQ(record.delete_inputs, 0);
  EXPECT_EQ(record.trash_inputs, 1);
  EXPECT_EQ(record.reserved[3], 77);
  const auto& shown = tb.last_dialog(toolbox::kPreferencesDialogID);
  EXPECT_TRUE(shown.shown);
  EXPECT_TRUE(shown.disposed);
  const std::vector<std::string> start(tb.log().begin(), tb.log().begin() + 5);
  EXPECT_EQ(start, (std::vector<std::string>{"GetNewDialog 135", "SetControlValue 135/4 1",
                                             "SetControlValue 135/5 0", "SetControlValue 135/6 0",
                                             "ShowWindow 135"}));
}

TEST(DisplayPrefsTest, CancelLeavesTheRecordAsItWas) {
  ScriptedToolbox tb;
  tb.AnswerDialog(toolbox::kPreferencesDialogID, {{{}, 5}, {{}, 6}, {{}, 2}});
  Prefs record;
  record.errors_to_progress = 5;
  DisplayPrefs(tb, record);
  EXPECT_EQ(record.errors_to_progress, 5);
  EXPECT_EQ(record.delete_inputs, 0);
  EXPECT_EQ(record.trash_inputs, 0);
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST(DisplayPrefsTest, OKStoresZeroOrOneEvenForAnOddValue) {
  ScriptedToolbox tb;
  tb.AnswerDialog(toolbox::kPreferencesDialogID, {{{}, 1}});
  Prefs record;
  record.errors_to_progress = 5;
  DisplayPrefs(tb, record);
  EXPECT_EQ(record.errors_to_progress, 1);
}

TEST(DisplayPrefsTest, ADialogThatGoesAwayEndsTheLoopAndStoresNothing) {
  ScriptedToolbox tb;
  // A box is flipped, then the window is destroyed; a further turn would find
  // no step left in the script and throw.
  tb.AnswerDialog(toolbox::kPreferencesDialogID, {{{}, 5}, {{}, 0}});
  Prefs record;
  DisplayPrefs(tb, record);
  EXPECT_EQ(record.delete_inputs, 0);
  EXPECT_TRUE(tb.last_dialog(toolbox::kPreferencesDialogID).disposed);
  EXPECT_EQ(tb.open_dialogs(), 0);
}

TEST(DisplayPrefsTest, TheProcessWideRecordIsTheDefault) {
  ScriptedToolbox tb;
  tb.AnswerDialog(toolbox::kPreferencesDialogID, {{{}, 5}, {{}, 1}});
  prefs = Prefs{};
  DisplayPrefs(tb);
  EXPECT_EQ(prefs.delete_inputs, 1);
  prefs = Prefs{};
}

}  // namespace
}  // namespace vantorelle::app
