// output_placement_test.cpp - output paths below the run's folder and their unique names.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "output_placement.hpp"
#include "run_state.hpp"
#include "test_support.hpp"

namespace vantorelle::app {
namespace {

class Placement : public testing::Test {
 protected:
  Placement() {
    run_state() = RunState{};
    run_state().path_ = dir.path().string() + "/";
  }
  ~Placement() override { run_state() = RunState{}; }

  std::string base() const { return dir.path().string() + "/"; }
  void make(const std::string& name, std::string_view content) {
    test::write_file(base() + name, content);
  }
  std::string filter(std::string name, const FilenameQuery& query = {}) {
    return FNameFilter(name, query);
  }

  test::TempDir dir;
};

TEST_F(Placement, CandidatesNumberBeforeTheExtension) {
  struct Case {
    const char* name;
    std::vector<const char*> taken;  // existing non-empty files
    const char* expected;
  };
  const Case cases[] = {
      {"photo.jpg", {}, "photo.jpg"},
      {"photo.jpg", {"photo.jpg"}, "photo-(0).jpg"},
      {"photo.jpg", {"photo.jpg", "photo-(0).jpg"}, "photo-(1).jpg"},
      {"archive.tar.gz", {"archive.tar.gz"}, "archive.tar-(0).gz"},
      {"README", {"README"}, "README-(0)"},
      {".profile", {".profile"}, "-(0).profile"},
      {"a b .x", {"a b .x"}, "a b -(0).x"},
  };
  for (const Case& c : cases) {
    test::TempDir fresh;
    run_state().path_ = fresh.path().string() + "/";
    for (const char* t : c.taken) test::write_file(fresh.file(t), "x");
    EXPECT_EQ(filter(c.name), fresh.file(c.expected)) << c.name;
  }
}

TEST_F(Placement, EmptyFileIsOverwrittenButFoldersAndLinksAreNot) {
  make("empty.bin", "");
  EXPECT_EQ(filter("empty.bin"), base() + "empty.bin");
  std::filesystem::create_directory(base() + "folder.bin");
  EXPECT_EQ(filter("folder.bin"), base() + "folder-(0).bin");
  std::filesystem::create_symlink("/nonexistent/target", base() + "link.bin");
  EXPECT_EQ(filter("link.bin"), base() + "link-(0).bin");
}

TEST_F(Placement, NameIsCutAtItsExtensionInPlace) {
  std::string name = "photo.jpg";
  FNameFilter(name);
  EXPECT_EQ(name, "photo");
  EXPECT_EQ(run_state().dname, base() + "photo.jpg");
}

TEST_F(Placement, SlashesNeverLeaveTheFolder) {
  EXPECT_EQ(filter("../../etc/passwd"), base() + ".._.._etc_passwd");
  EXPECT_EQ(filter("/abs"), base() + "_abs");
  EXPECT_EQ(filter(".."), base() + ".-(0).") << "the parent folder is never taken";
}

TEST_F(Placement, SubdirectoryInForceIsUsed) {
  run_state().directory_ = "holiday";
  std::filesystem::create_directory(base() + "holiday");
  test::write_file(base() + "holiday/a.jpg", "x");
  EXPECT_EQ(filter("a.jpg"), base() + "holiday/a-(0).jpg");
}

TEST_F(Placement, LongNamesAreOfferedForShortening) {
  const std::string long_name = std::string(126, 'n') + ".jpg";  // 130 characters
  std::vector<std::string> offered;
  auto answer = [&](std::string reply, NameAnswer result) {
    return [&offered, reply, result](const std::string& name, std::string& out) {
      offered.push_back(name);
      if (!reply.empty()) out = reply;
      return result;
    };
  };
  const NameAnswer use = NameAnswer::kUseResult;
  EXPECT_EQ(filter(long_name, answer("short.jpg", use)), base() + "short.jpg");
  EXPECT_EQ(filter(long_name, answer("short", use)), base() + "short");
  EXPECT_EQ(filter(long_name, answer("", NameAnswer::kKeepLong)), base() + long_name);
  EXPECT_EQ(filter(long_name), base() + long_name) << "without a query the name is kept";
  EXPECT_EQ(offered.size(), 3u);
  EXPECT_EQ(filter(std::string(127, 'n'), answer("x", use)), base() + std::string(127, 'n'));
  EXPECT_EQ(offered.size(), 3u) << "127 characters are not offered";
  std::string japanese;
  for (int i = 0; i < 82; ++i) japanese += "\xe5\x86\x99";  // 246 bytes
  EXPECT_EQ(filter(japanese, answer("x", use)), base() + japanese);
  EXPECT_EQ(offered.size(), 3u) << "82 characters are not offered, however many bytes";
  EXPECT_EQ(filter(std::string(128, 'n'), answer("x", use)), base() + "x");
  EXPECT_EQ(offered.size(), 4u) << "128 characters are offered";
  EXPECT_EQ(filter(long_name, answer("x", NameAnswer::kCancelRun)), "") << "no output for a cancelled run";
  EXPECT_TRUE(run_state().cancelled_);
  EXPECT_EQ(run_state().dname, "");
}

TEST_F(Placement, QueryStartsFromThePreviousOutputPath) {
  filter("first.bin");
  std::string seen;
  filter(std::string(130, 'q'), [&](const std::string&, std::string& result) {
    seen = result;
    return NameAnswer::kKeepLong;
  });
  EXPECT_EQ(seen, base() + "first.bin");
}

class Directories : public Placement {
 protected:
  // Runs the directory hook and returns the directory in force afterwards.
  std::string place(const std::string& dest_name, std::string subject = "") {
    DirectoryCallback(dest_name, subject);
    return run_state().directory_;
  }
  bool exists(const std::string& name) const { return std::filesystem::is_directory(base() + name); }
};

TEST_F(Directories, SubjectDirectoryStaysWhileSubjectsAgreeOverTheLength) {
  struct Case {
    const char* name;
    std::int16_t length;
    std::vector<const char*> subjects;
    std::vector<const char*> directories;  // in force after each subject
  };
  const Case cases[] = {
      {"length 8",
       8,
       {"holiday pictures A", "holiday pictures B", "vacation"},
       {"holiday pictures A", "holiday pictures A", "vacation"}},
      {"length 20",
       20,
       {"holiday pictures A", "holiday pictures B"},
       {"holiday pictures A", "holiday pictures B"}},
      {"shorter text ends the comparison early", 8, {"holiday", "holiday pictures"}, {"holiday", "holiday pictures"}},
      {"equal over the whole text", 8, {"abc", "abc"}, {"abc", "abc"}},
      {"trailing blanks are dropped", 8, {"holiday pictures  ", "holiday pictures"}, {"holiday pictures",
       "holiday pictures"}},
  };
  for (const Case& c : cases) {
    test::TempDir fresh;
    run_state() = RunState{};
    run_state().path_ = fresh.path().string() + "/";
    run_state().shiftKey_ = true;
    run_state().dir_cmp_len_ = c.length;
    for (std::size_t i = 0; i < c.subjects.size(); ++i) {
      EXPECT_EQ(place("f.bin", c.subjects[i]), c.directories[i]) << c.name << " #" << i;
      EXPECT_TRUE(std::filesystem::is_directory(fresh.file(c.directories[i]))) << c.name << " #" << i;
    }
  }
}

TEST_F(Directories, SubjectSeparatorsAreReplacedInTheSubjectItself) {
  run_state().shiftKey_ = true;
  std::string subject = "Rome/Paris: day 1";
  DirectoryCallback("a.jpg", subject);
  EXPECT_EQ(subject, "Rome_Paris_ day 1");
  EXPECT_EQ(run_state().directory_, "Rome_Paris_ day 1");
  EXPECT_TRUE(exists("Rome_Paris_ day 1"));
}

TEST_F(Directories, SubjectsThatNameNoDirectoryLeaveTheOneInForce) {
  struct Case {
    const char* subject;
    const char* directory;
  };
  const Case cases[] = {{"..", "earlier"}, {".", "earlier"}, {"", "earlier"}, {":", "_"}, {"/..", "_.."}, {"  ", "earlier"}};
  for (const Case& c : cases) {
    run_state().shiftKey_ = true;
    run_state().directory_ = "earlier";
    EXPECT_EQ(place("f.bin", c.subject), c.directory) << c.subject;
  }
  EXPECT_FALSE(exists("earlier")) << "nothing is made for a subject that names no directory";
  EXPECT_TRUE(exists("_.."));
}

// A link in the input folder, or one named like a posted subject, is a taken
// name: the output stays in the folder above, and a warning says so.
TEST_F(Directories, LinksWhereADirectoryWouldBeAreNotFollowed) {
  struct Case {
    const char* what;
    std::function<void()> choose;  // the rule that picks the link
    const char* link;              // below the folder, pointing out of it
    const char* directory;         // in force afterwards
  };
  const Case cases[] = {
      {"subject", [this] { run_state().shiftKey_ = true; place("a.jpg", "Rome"); }, "Rome", ""},
      {"name prefix", [this] { run_state().cmdKey_ = true; place("Rome2004.jpg"); }, "Rome", ""},
      {"typed directory", [] { UseOutputDirectory("out"); }, "out", ""},
      {"typed directory below a real one", [] { UseOutputDirectory("real/out/deeper"); }, "real/out", "real"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir fresh;
    test::TempDir elsewhere;
    run_state() = RunState{};
    run_state().path_ = fresh.path().string() + "/";
    std::vector<test::Message> said;
    run_state().say = [&said](int level, std::string_view text) { return said.push_back({level, std::string(text)}), 1; };
    std::filesystem::create_directories(std::filesystem::path(fresh.file(c.link)).parent_path());
    std::filesystem::create_directory_symlink(elsewhere.path(), fresh.file(c.link));
    c.choose();
    EXPECT_EQ(run_state().directory_, c.directory);
    const std::string above = run_state().path_ + c.directory;
    EXPECT_EQ(said, (std::vector<test::Message>{{kLevelWarning, "Not following the link '" + fresh.file(c.link) +
                                                                     "': output stays in '" + above + "'"}}));
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  }
}

TEST_F(Directories, OverlongSubjectIsCutToALegalName) {
  run_state().shiftKey_ = true;
  const std::string subject(300, 's');
  EXPECT_EQ(place("f.bin", subject), std::string(255, 's'));
  EXPECT_TRUE(exists(std::string(255, 's')));
  const std::string accented = std::string(254, 'a') + "\xC3\xA9";
  EXPECT_EQ(place("f.bin", accented), std::string(254, 'a')) << "never cut inside a character";
}

TEST_F(Directories, NamePrefixIsTheFirstCharacterAndTheLettersAfterIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"Rome2004.jpg", "Rome"}, {"2004Rome.jpg", "2"}, {"a:b.txt", "a"}, {"Zebra_1.gif", "Zebra"},
      {"x", "x"},               {"", ""},              {"..hidden", "."}, {"/etc", "/etc"},
      {"\xC3\x84rger.jpg", "\xC3\x84rger"},  // a UTF-8 first character stays whole
  };
  for (const auto& [name, prefix] : cases) {
    run_state().cmdKey_ = true;
    run_state().directory_ = "earlier";
    EXPECT_EQ(place(name), prefix) << name;
  }
  EXPECT_TRUE(exists("Rome"));
  EXPECT_TRUE(exists("Zebra"));
  EXPECT_TRUE(exists("etc")) << "a leading '/' still stays below the folder";
}

TEST_F(Directories, NamePrefixDirectoryIsMadeOncePerChange) {
  run_state().cmdKey_ = true;
  EXPECT_EQ(place("cat1.gif"), "cat");
  std::filesystem::remove(base() + "cat");
  EXPECT_EQ(place("cat2.gif"), "cat");
  EXPECT_FALSE(exists("cat")) << "the directory in force is not made again";
  EXPECT_EQ(place("dog1.gif"), "dog");
  EXPECT_TRUE(exists("dog"));
  std::string name = "dog1.gif";
  EXPECT_EQ(FNameFilter(name), base() + "dog/dog1.gif");
}

TEST_F(Directories, NamePrefixWinsOverTheSubject) {
  run_state().shiftKey_ = true;
  run_state().cmdKey_ = true;
  EXPECT_EQ(place("Rome1.jpg", "holiday"), "Rome");
  EXPECT_TRUE(exists("holiday")) << "the subject step ran first";
  EXPECT_EQ(place("Rome2.jpg", "holiday"), "Rome");
}

TEST_F(Directories, NoFlagNoDirectory) {
  std::string subject = "a/b: c";
  EXPECT_EQ(place("Rome.jpg", subject), "");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(Directories, DirectoriesAreMadeWithMode0755) {
  const ::mode_t old_mask = ::umask(0);
  UseOutputDirectory("typed");
  ::umask(old_mask);
  struct stat st {};
  ASSERT_EQ(::stat((base() + "typed").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
  EXPECT_EQ(run_state().directory_, "typed");
}

TEST(DirectoryLength, ReadAsTheLengthQuestionDoes) {
  const std::pair<const char*, int> cases[] = {
      {"3", 3},   {"12", 12},  {"abc", 0},      {"", 0},          {"  42x", 42},
      {"-5", -5}, {"+7", 7},   {"65548", 12},   {"32768", -32768}, {"99999999999999999999", 65535 - 65536},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(ParseDirectoryLength(text), value) << text;
}

}  // namespace
}  // namespace vantorelle::app
