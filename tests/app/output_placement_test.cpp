// output_placement_test.cpp - output paths below the run's folder and their unique names.
#include <gtest/gtest.h>

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
  auto answer = [&](std::string reply, bool result) {
    return [&offered, reply, result](const std::string& name, std::string& out) {
      offered.push_back(name);
      if (!reply.empty()) out = reply;
      return result;
    };
  };
  EXPECT_EQ(filter(long_name, answer("short.jpg", true)), base() + "short.jpg");
  EXPECT_EQ(filter(long_name, answer("short", true)), base() + "short");
  EXPECT_EQ(filter(long_name, answer("", false)), base() + long_name);
  EXPECT_EQ(filter(long_name), base() + long_name) << "without a query the name is kept";
  EXPECT_EQ(offered.size(), 3u);
  EXPECT_EQ(filter(std::string(127, 'n'), answer("x", true)), base() + std::string(127, 'n'));
  EXPECT_EQ(offered.size(), 3u) << "127 characters are not offered";
}

TEST_F(Placement, QueryStartsFromThePreviousOutputPath) {
  filter("first.bin");
  std::string seen;
  filter(std::string(130, 'q'), [&](const std::string&, std::string& result) {
    seen = result;
    return false;
  });
  EXPECT_EQ(seen, base() + "first.bin");
}

}  // namespace
}  // namespace vantorelle::app
