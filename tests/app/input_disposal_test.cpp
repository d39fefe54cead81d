// input_disposal_test.cpp - the Trash lookup, deleting and trashing inputs, and never losing what the Trash holds.
#include "input_disposal.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <regex>

#include "failing_file_system.hpp"
#include "run_state.hpp"
#include "test_support.hpp"
#include "toolbox_test_support.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::ScopedEnv;
using test::TempDir;
using test::WriteBytes;

int Mode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

std::string InfoLine(const std::string& info_file, const std::string& key) {
  const std::string text = ReadBytes(info_file);
  const auto at = text.find("\n" + key + "=");
  if (at == std::string::npos) return {};
  const auto start = at + key.size() + 2;
  return text.substr(start, text.find('\n', start) - start);
}

TEST(FindTrashPath, UsesTheXdgDataHomeOrTheHomeFolderAndMakesTheTrash) {
  TempDir scratch;
  const std::string home = scratch.file("home");
  const std::string data = scratch.file("data");
  fs::create_directories(home);
  WriteBytes(scratch.file("plain-file"), "x");
  struct Case {
    const char* what;
    std::optional<std::string> xdg;
    std::optional<std::string> home;
    std::string expected;
  };
  const Case cases[] = {
      {"XDG_DATA_HOME", data, home, data + "/Trash/files"},
      {"trailing slash", data + "//", home, data + "/Trash/files"},
      {"relative XDG value is ignored", "relative/data", home, home + "/.local/share/Trash/files"},
      {"no XDG value", std::nullopt, home, home + "/.local/share/Trash/files"},
      {"nothing known", std::nullopt, std::nullopt, "./"},
      {"cannot be made", scratch.file("plain-file"), home, "./"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScopedEnv set_xdg("XDG_DATA_HOME", c.xdg ? c.xdg->c_str() : nullptr);
    ScopedEnv set_home("HOME", c.home ? c.home->c_str() : nullptr);
    const std::string found = FindTrashPath();
    EXPECT_EQ(found, c.expected);
    if (found != "./") {
      const std::string trash = fs::path(found).parent_path().string();
      EXPECT_EQ(Mode(trash + "/files"), 0700);
      EXPECT_EQ(Mode(trash + "/info"), 0700);
    }
  }
}

class Disposal : public ::testing::Test {
 protected:
  Disposal() : xdg_("XDG_DATA_HOME", scratch_.file("data").c_str()) {
    trash_files_ = FindTrashPath();
    trash_info_ = fs::path(trash_files_).parent_path().string() + "/info";
    fs::create_directories(scratch_.file("in"));
    run_state().say = [this](int level, std::string_view text) {
      said.push_back({level, std::string(text)});
      return 1;
    };
  }
  ~Disposal() override { run_state().say = {}; }

  std::string Input(const std::string& name, const std::string& content = "article text") {
    const std::string path = scratch_.file("in/" + name);
    fs::create_directories(fs::path(path).parent_path());
    WriteBytes(path, content);
    return path;
  }
  // Runs DisposeInput and returns what it wrote to standard error.
  std::string Dispose(const std::string& path, bool del, bool trash, int& result, std::string folder = {}) {
    ::testing::internal::CaptureStderr();
    result = DisposeInput(path, del, trash, folder.empty() ? trash_files_ : folder);
    return ::testing::internal::GetCapturedStderr();
  }
  std::vector<std::string> Listing(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<test::Message> said;  // the run's messages
  TempDir scratch_;
  ScopedEnv xdg_;
  std::string trash_files_;
  std::string trash_info_;
};

TEST_F(Disposal, TheFourPreferenceCombinations) {
  struct Case {
    bool del;
    bool trash;
    int result;
    bool stays;
    bool in_trash;
    bool reported;
  };
  const Case cases[] = {
      {false, false, 0, true, false, false},
      {true, false, 0, false, false, false},
      {false, true, 0, false, true, false},
      {true, true, -1, false, false, true},  // deleted first, so the move fails and is reported
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.del) + std::to_string(c.trash));
    const std::string name = "art" + std::to_string(n++) + ".txt";
    const std::string path = Input(name);
    int result = 99;
    const std::string err = Dispose(path, c.del, c.trash, result);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(fs::exists(path), c.stays);
    EXPECT_EQ(fs::exists(trash_files_ + "/" + name), c.in_trash);
    EXPECT_EQ(fs::exists(trash_info_ + "/" + name + ".trashinfo"), c.in_trash);
    EXPECT_EQ(err, c.reported ? "-1 -> " + path + " " + trash_files_ + "/" + name + "\n" : "");
    const std::vector<test::Message> reported{
        {kLevelError, "Unable to move '" + path + "' to the Trash: No such file or directory"}};
    EXPECT_EQ(said, c.reported ? reported : std::vector<test::Message>{});
    said.clear();
  }
}

TEST_F(Disposal, AFailedDeletionIsReturnedAndSaid) {
  int result = 0;
  const std::string path = scratch_.file("in/never-there.txt");
  EXPECT_EQ(Dispose(path, true, false, result), "");
  EXPECT_EQ(result, -1);
  EXPECT_EQ(said, (std::vector<test::Message>{{kLevelError, "Unable to delete '" + path + "': No such file or directory"}}));
}

TEST_F(Disposal, TheTrashInfoRecordsTheOriginalPathAndTheTime) {
  const std::string path = Input("holiday.txt", "one");
  int result = -1;
  Dispose(path, false, true, result);
  ASSERT_EQ(result, 0);
  const std::string info = trash_info_ + "/holiday.txt.trashinfo";
  EXPECT_TRUE(ReadBytes(info).starts_with("[Trash Info]\n"));
  EXPECT_EQ(InfoLine(info, "Path"), path);
  EXPECT_TRUE(std::regex_match(InfoLine(info, "DeletionDate"),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));
  EXPECT_EQ(ReadBytes(trash_files_ + "/holiday.txt"), "one");
}

TEST_F(Disposal, InputsOfTheSameNameAreAllKeptInTheTrash) {
  const std::string first = Input("a/x.txt", "first");
  const std::string second = Input("b/x.txt", "second");
  const std::string third = Input("c/x.txt", "third");
  int result = -1;
  for (const std::string& path : {first, second, third}) {
    Dispose(path, false, true, result);
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(Listing(trash_files_), (std::vector<std::string>{"x.2.txt", "x.3.txt", "x.txt"}));
  EXPECT_EQ(ReadBytes(trash_files_ + "/x.txt"), "first");
  EXPECT_EQ(ReadBytes(trash_files_ + "/x.2.txt"), "second");
  EXPECT_EQ(InfoLine(trash_info_ + "/x.2.txt.trashinfo", "Path"), second);
  EXPECT_EQ(InfoLine(trash_info_ + "/x.3.txt.trashinfo", "Path"), third);
}

TEST_F(Disposal, NothingInTheTrashIsReplacedEvenWithoutItsInfo) {
  WriteBytes(trash_files_ + "/orphan.txt", "was there");          // a file without info
  WriteBytes(trash_info_ + "/claimed.txt.trashinfo", "[Trash Info]\n");  // info without a file
  int result = -1;
  Dispose(Input("orphan.txt", "new"), false, true, result);
  Dispose(Input("claimed.txt", "new"), false, true, result);
  EXPECT_EQ(ReadBytes(trash_files_ + "/orphan.txt"), "was there");
  EXPECT_EQ(ReadBytes(trash_files_ + "/orphan.2.txt"), "new");
  EXPECT_EQ(ReadBytes(trash_files_ + "/claimed.2.txt"), "new");
  EXPECT_EQ(ReadBytes(trash_info_ + "/claimed.txt.trashinfo"), "[Trash Info]\n");
  EXPECT_FALSE(fs::exists(trash_info_ + "/orphan.txt.trashinfo"));
}

TEST_F(Disposal, ATrashWhoseInfoFolderWentMissingGetsItBack) {
  fs::remove_all(trash_info_);
  int result = -1;
  Dispose(Input("late.txt"), false, true, result);
  EXPECT_EQ(result, 0);
  EXPECT_TRUE(fs::exists(trash_info_ + "/late.txt.trashinfo"));
}

TEST_F(Disposal, PathsArePercentEncodedInTheInfo) {
  const std::string name = "my file 100%#ä?.txt";
  const std::string path = Input(name);
  int result = -1;
  Dispose(path, false, true, result);
  ASSERT_EQ(result, 0);
  const std::string encoded = InfoLine(trash_info_ + "/" + name + ".trashinfo", "Path");
  EXPECT_TRUE(encoded.ends_with("/in/my%20file%20100%25%23%C3%A4%3F.txt")) << encoded;
  EXPECT_TRUE(fs::exists(trash_files_ + "/" + name));
}

// GLib implements the same Trash rules; what it writes for a file must be
// what DisposeInput writes for the same kind of file.
TEST_F(Disposal, DisposeInputWritesWhatGLibsTrashWrites) {
  if (::access("/usr/bin/gio", X_OK) != 0) GTEST_SKIP() << "gio (Debian package libglib2.0-bin) is not installed";
  const std::string name = "a b%ä#.txt";
  const std::string by_glib = Input("glib/" + name, "1");
  const std::string by_us = Input("ours/" + name, "2");
  ASSERT_EQ(std::system(("gio trash '" + by_glib + "'").c_str()), 0);
  int result = -1;
  Dispose(by_us, false, true, result);
  ASSERT_EQ(result, 0);
  const std::string our_name = TrashCandidateName(name, 1);
  const std::regex form(R"(\[Trash Info\]\nPath=(.*)\nDeletionDate=(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\n)");
  const std::string glib_info = ReadBytes(trash_info_ + "/" + name + ".trashinfo");
  const std::string our_info = ReadBytes(trash_info_ + "/" + our_name + ".trashinfo");
  std::smatch glib_match, our_match;
  ASSERT_TRUE(std::regex_match(glib_info, glib_match, form)) << glib_info;
  ASSERT_TRUE(std::regex_match(our_info, our_match, form)) << our_info;
  EXPECT_EQ(glib_match[1].str(), PercentEncodePath(by_glib));
  EXPECT_EQ(our_match[1].str(), PercentEncodePath(by_us));
  EXPECT_EQ(ReadBytes(trash_files_ + "/" + name), "1");
  EXPECT_EQ(ReadBytes(trash_files_ + "/" + our_name), "2");
}

TEST(PercentEncodePath, KeepsOnlyUnreservedCharactersAndSlashes) {
  const std::pair<std::string, std::string> cases[] = {
      {"/a/B-9._~", "/a/B-9._~"},
      {"/with space", "/with%20space"},
      {"/%+&=:@!", "/%25%2B%26%3D%3A%40%21"},
      {"/\xFF\x01", "/%FF%01"},
      {"/ü", "/%C3%BC"},
  };
  for (const auto& [path, encoded] : cases) EXPECT_EQ(PercentEncodePath(path), encoded) << path;
}

TEST(TrashCandidateName, NumbersBeforeTheExtension) {
  const std::tuple<const char*, int, const char*> cases[] = {
      {"a.jpg", 0, "a.jpg"},       {"a.jpg", 1, "a.2.jpg"},     {"a.tar.gz", 2, "a.tar.3.gz"},
      {"README", 1, "README.2"},   {".profile", 1, ".profile.2"}, {"", 0, ""},
  };
  for (const auto& [name, attempt, expected] : cases) EXPECT_EQ(TrashCandidateName(name, attempt), expected);
}

TEST_F(Disposal, WithoutATrashFilesGoIntoThePlainFolderUnderAFreeName) {
  const std::string folder = scratch_.file("fallback");
  fs::create_directories(folder);
  WriteBytes(folder + "/report.txt", "older");
  int result = -1;
  EXPECT_EQ(Dispose(Input("report.txt", "newer"), false, true, result, folder + "/"), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(folder + "/report.txt"), "older");
  EXPECT_EQ(ReadBytes(folder + "/report.2.txt"), "newer");
  EXPECT_EQ(Listing(folder).size(), 2u);  // no info records outside a Trash
}

TEST_F(Disposal, TheDotSlashFallbackMovesIntoTheCurrentFolder) {
  const std::string cwd = scratch_.file("cwd");
  fs::create_directories(cwd);
  const fs::path previous = fs::current_path();
  fs::current_path(cwd);
  int result = -1;
  const std::string path = Input("plain.txt");
  Dispose(path, false, true, result, "./");
  fs::current_path(previous);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(cwd + "/plain.txt"));
}

TEST_F(Disposal, AFailedMoveIsReportedAndLosesNothing) {
  using Call = test::FailingFileSystem::Call;
  const std::string target = trash_files_ + "/far.txt";
  const std::string info = trash_info_ + "/far.txt.trashinfo";
  std::string taken_target = trash_files_ + "/far.10000.txt";
  const struct {
    const char* what;
    Call call;
    std::string path;
    int error;
    const std::string& target;
  } cases[] = {
      {"input on another file system", Call::kRename, target, EXDEV, target},  // never copied and deleted
      {"no room for the info record", Call::kWrite, info, ENOSPC, target},
      {"info folder refused, even to root", Call::kOpen, info, EACCES, target},
      {"files folder refused, even to root", Call::kRename, target, EACCES, target},
      {"every candidate name taken", Call::kOpen, "", EEXIST, taken_target},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Input("far.txt", "far away");
    test::FailingFileSystem system;
    system.Fail(c.call, c.path, c.error);
    if (c.path.empty()) {
      for (int i = 0; i < 10000; ++i)
        system.Fail(c.call, trash_info_ + "/" + TrashCandidateName("far.txt", i) + ".trashinfo", c.error);
    }
    int result = 0;
    const std::string err = Dispose(path, false, true, result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(err, "-1 -> " + path + " " + c.target + "\n");
    EXPECT_EQ(said, (std::vector<test::Message>{{kLevelError, "Unable to move '" + path + "' to the Trash: " +
                                                                   std::strerror(c.error)}}));
    said.clear();
    EXPECT_EQ(ReadBytes(path), "far away");
    EXPECT_TRUE(Listing(trash_files_).empty());
    EXPECT_TRUE(Listing(trash_info_).empty()) << "the claimed info record is given back";
  }
}

TEST_F(Disposal, ANameThatAppearsAfterTheCheckIsNotReplaced) {
  const std::string path = Input("late.txt", "mine");
  const std::string taken = trash_files_ + "/late.txt";
  test::FailingFileSystem system;
  system.AfterCheck(taken, [&] { WriteBytes(taken, "someone else's"); });
  int result = -1;
  EXPECT_EQ(Dispose(path, false, true, result), "");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(taken), "someone else's");
  EXPECT_EQ(ReadBytes(trash_files_ + "/late.2.txt"), "mine");
  EXPECT_EQ(Listing(trash_info_), std::vector<std::string>{"late.2.txt.trashinfo"});
}

}  // namespace
}  // namespace vantorelle::app
