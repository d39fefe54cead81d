// unique_names_test.cpp - safe name components, free names, and the resumed unique-name search.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

namespace fs = std::filesystem;

TEST(UniqueNames, ControlCharactersAndSlashesBecomeUnderscores) {
  const std::pair<std::string, std::string> cases[] = {
      {"a/b/../c", "a_b_.._c"},
      {"\x1b[31mred\x1b[0m.txt", "_[31mred_[0m.txt"},
      {"two\nlines\r.bin", "two_lines_.bin"},
      {"tab\tand\x7f" "del", "tab_and_del"},
      {std::string("nul\0byte", 8), "nul_byte"},
      {"\x01\x1f", "__"},
      {"caf\xc3\xa9 \xe2\x82\xac.jpg", "caf\xc3\xa9 \xe2\x82\xac.jpg"},  // UTF-8 stays
      {"-leading dash", "-leading dash"},
      {"..", ".."},
  };
  for (const auto& [name, safe] : cases) EXPECT_EQ(SafeComponent(name), safe) << name;
}

TEST(UniqueNames, OnlyAbsentNamesAndLoneEmptyFilesAreFree) {
  test::TempDir dir;
  test::write_file(dir.file("empty"), "");
  test::write_file(dir.file("data"), "x");
  test::write_file(dir.file("shared"), "");
  fs::create_hard_link(dir.file("shared"), dir.file("second-link"));
  fs::create_symlink(dir.file("empty"), dir.file("link-to-empty"));
  fs::create_symlink(dir.file("nothing"), dir.file("dangling"));
  fs::create_directory(dir.file("folder"));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  test::write_file(dir.file(".same.bin.vantorelle-a1B2c3"), "");  // another run's output, still empty
  const std::pair<const char*, bool> cases[] = {
      {".same.bin.vantorelle-a1B2c3", false}, {".same.bin.vantorelle-a1B2c", true},
      {"absent", true},         {"empty", true},   {"data", false},
      {"shared", false},        {"second-link", false},
      {"link-to-empty", false}, {"dangling", false}, {"folder", false}, {"fifo", false},
  };
  for (const auto& [name, free] : cases) EXPECT_EQ(IsFreeOutputName(dir.file(name)), free) << name;
}

class UniquePaths : public testing::Test {
 protected:
  UniquePaths() { ResetUniqueNames(); }
  ~UniquePaths() override { ResetUniqueNames(); }
  std::string folder() const { return dir.path().string() + "/"; }
  // Takes the next unique path and fills it, as a decoded output would.
  std::string take(const std::string& base, const std::string& ext) {
    const std::string path = UniqueOutputPath(folder(), base, ext);
    test::write_file(path, "data");
    return path.substr(folder().size());
  }
  test::TempDir dir;
};

TEST_F(UniquePaths, SearchGoesOnWhereItStoppedWithinARun) {
  test::write_file(folder() + "a.bin", "user's");
  test::write_file(folder() + "a-(1).bin", "user's");
  EXPECT_EQ(take("a", ".bin"), "a-(0).bin");
  EXPECT_EQ(take("a", ".bin"), "a-(2).bin");
  EXPECT_EQ(take("a", ".bin"), "a-(3).bin");
  EXPECT_EQ(take("b", ".bin"), "b.bin") << "each base has its own search";
  EXPECT_EQ(take("a", ".txt"), "a.txt") << "each extension has its own search";
  fs::remove(folder() + "a-(0).bin");
  EXPECT_EQ(take("a", ".bin"), "a-(4).bin") << "names freed during the run are not gone back to";
  ResetUniqueNames();
  EXPECT_EQ(take("a", ".bin"), "a-(0).bin") << "a new run starts from the beginning";
}

TEST_F(UniquePaths, LongNamesAreShortenedToFitTheNumberAndExtension) {
  const std::string e_acute = "\xc3\xa9";
  std::string utf8_base;
  for (int i = 0; i < 125; ++i) utf8_base += e_acute;
  utf8_base += "x";  // 251 bytes
  struct Case {
    const char* what;
    std::string base;
    std::string ext;
    bool taken;           // whether base + ext exists already
    std::string expected;
  };
  const Case cases[] = {
      {"255 bytes, free", std::string(251, 'n'), ".bin", false, std::string(251, 'n') + ".bin"},
      {"255 bytes, taken", std::string(251, 'n'), ".bin", true,
       std::string(247, 'n') + "-(0).bin"},
      {"300 bytes", std::string(296, 'm'), ".bin", false, std::string(251, 'm') + ".bin"},
      {"cut between UTF-8 characters", utf8_base, ".bin", true,
       utf8_base.substr(0, 246) + "-(0).bin"},
      {"not UTF-8: cut as plain bytes", std::string(296, '\x80'), ".bin", false,
       std::string(251, '\x80') + ".bin"},
      {"extension alone too long", "", "." + std::string(299, 'e'), false,
       "." + std::string(254, 'e')},
  };
  for (const Case& c : cases) {
    ResetUniqueNames();
    if (c.taken) test::write_file(folder() + c.base + c.ext, "user's");
    EXPECT_EQ(take(c.base, c.ext), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace vantorelle::app
