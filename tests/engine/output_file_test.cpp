// output_file_test.cpp - creating output files: never through a link, never over another file's data.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "output_file.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

namespace fs = std::filesystem;

TEST(OutputFile, ExclusiveCreationTakesOnlyNewNamesAndLoneEmptyFiles) {
  struct Case {
    const char* name;
    std::function<void(const test::TempDir&)> prepare;  // makes "out" (and "elsewhere")
    bool opens;
  };
  const Case cases[] = {
      {"no such name", [](const test::TempDir&) {}, true},
      {"empty regular file", [](const test::TempDir& d) { test::write_file(d.file("out"), ""); }, true},
      {"file with data", [](const test::TempDir& d) { test::write_file(d.file("out"), "mine"); },
       false},
      {"link to an empty file",
       [](const test::TempDir& d) {
         test::write_file(d.file("elsewhere"), "");
         fs::create_symlink(d.file("elsewhere"), d.file("out"));
       },
       false},
      {"link to nothing yet",
       [](const test::TempDir& d) { fs::create_symlink(d.file("elsewhere"), d.file("out")); },
       false},
      {"empty file with a second hard link",
       [](const test::TempDir& d) {
         test::write_file(d.file("elsewhere"), "");
         fs::create_hard_link(d.file("elsewhere"), d.file("out"));
       },
       false},
      {"folder", [](const test::TempDir& d) { fs::create_directory(d.file("out")); }, false},
      {"FIFO", [](const test::TempDir& d) { ::mkfifo(d.file("out").c_str(), 0600); }, false},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    c.prepare(dir);
    const bool had_elsewhere = fs::exists(dir.file("elsewhere"));
    auto out = OutputFile::create_exclusive(dir.file("out"));
    EXPECT_EQ(out.has_value(), c.opens) << c.name;
    if (out) {
      EXPECT_TRUE(out->write("new", 3));
      EXPECT_TRUE(out->close());
      EXPECT_EQ(test::read_file(dir.file("out")), "new") << c.name;
    }
    // Whatever happened, nothing elsewhere was created or written.
    EXPECT_EQ(fs::exists(dir.file("elsewhere")), had_elsewhere) << c.name;
    if (had_elsewhere) {
      EXPECT_EQ(test::read_file(dir.file("elsewhere")), "") << c.name;
    }
    if (std::string(c.name) == "file with data") {
      EXPECT_EQ(test::read_file(dir.file("out")), "mine");
    }
  }
}

}  // namespace
}  // namespace vantorelle
