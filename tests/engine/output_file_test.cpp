// output_file_test.cpp - creating output files: never through a link, never over another file's data.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "output_file.hpp"
#include "vantorelle/engine.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

namespace fs = std::filesystem;

// Names in the folder apart from the "elsewhere" of a case.
std::set<std::string> names_in(const test::TempDir& d) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(d.path())) names.insert(entry.path().filename());
  names.erase("elsewhere");
  return names;
}

TEST(OutputFile, ExclusiveCreationTakesOnlyNewNamesAndLoneEmptyFiles) {
  struct Case {
    const char* name;
    std::function<void(const test::TempDir&)> prepare;  // makes "out" (and "elsewhere")
    const char* lands_in;                                // where the output is after close()
    // Runs between creation and close(): another run at work in the folder.
    std::function<void(const test::TempDir&)> meanwhile = [](const test::TempDir&) {};
  };
  const auto another_run_finishes = [](const test::TempDir& d) {
    auto other = OutputFile::create_exclusive(d.file("out"));
    ASSERT_TRUE(other && other->write("mine", 4) && other->close());
  };
  const auto data_appears = [](const test::TempDir& d) { test::write_file(d.file("out"), "mine"); };
  const auto nothing = [](const test::TempDir&) {};
  const auto empty_file = [](const test::TempDir& d) { test::write_file(d.file("out"), ""); };
  const Case cases[] = {
      {"no such name", nothing, "out"},
      {"empty regular file", empty_file, "out"},
      {"file with data", data_appears, "out-(0)"},
      {"link to an empty file",
       [](const test::TempDir& d) {
         test::write_file(d.file("elsewhere"), "");
         fs::create_symlink(d.file("elsewhere"), d.file("out"));
       },
       "out-(0)"},
      {"link to nothing yet",
       [](const test::TempDir& d) { fs::create_symlink(d.file("elsewhere"), d.file("out")); },
       "out-(0)"},
      {"empty file with a second hard link",
       [](const test::TempDir& d) {
         test::write_file(d.file("elsewhere"), "");
         fs::create_hard_link(d.file("elsewhere"), d.file("out"));
       },
       "out-(0)"},
      {"folder", [](const test::TempDir& d) { fs::create_directory(d.file("out")); }, "out-(0)"},
      {"FIFO", [](const test::TempDir& d) { ::mkfifo(d.file("out").c_str(), 0600); }, "out-(0)"},
      {"another run finishes first", nothing, "out-(0)", another_run_finishes},
      {"another run fills the empty file first", empty_file, "out-(0)", another_run_finishes},
      {"a file with data appears at the name", nothing, "out-(0)", data_appears},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    c.prepare(dir);
    const bool had_elsewhere = fs::exists(dir.file("elsewhere"));
    auto out = OutputFile::create_exclusive(dir.file("out"));
    ASSERT_TRUE(out && out->write("new", 3)) << c.name;
    c.meanwhile(dir);
    EXPECT_TRUE(out->close()) << c.name;
    EXPECT_EQ(out->path(), dir.file(c.lands_in)) << c.name;
    EXPECT_EQ(test::read_file(dir.file(c.lands_in)), "new") << c.name;
    for (const std::string& name : names_in(dir)) EXPECT_NE(name.front(), '.') << c.name << ": " << name;
    // Whatever happened, nothing elsewhere was created or written, and no data replaced.
    EXPECT_EQ(fs::exists(dir.file("elsewhere")), had_elsewhere) << c.name;
    if (had_elsewhere) {
      EXPECT_EQ(test::read_file(dir.file("elsewhere")), "") << c.name;
    }
    if (c.lands_in != std::string("out") && fs::is_regular_file(dir.file("out")) && fs::file_size(dir.file("out")) > 0) {
      EXPECT_EQ(test::read_file(dir.file("out")), "mine") << c.name;
    }
  }
}

TEST(OutputFile, AnOutputGivenUpLeavesNothingAndOneFinishedStays) {
  test::TempDir dir;
  auto done = OutputFile::create_exclusive(dir.file("done"));
  ASSERT_TRUE(done);
  done->reserve(1 << 20);  // more than it comes to: what lies past its end is given back
  ASSERT_TRUE(done->write("kept", 4) && done->close());
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("done").c_str(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, 1 << 16);
  auto cut_short = OutputFile::create_exclusive(dir.file("cut"));
  ASSERT_TRUE(cut_short && cut_short->write("half", 4));
  uuDiscardOutputInProgress();
  EXPECT_FALSE(cut_short->close());
  EXPECT_TRUE(cut_short->path().empty());
  EXPECT_EQ(names_in(dir), std::set<std::string>{"done"});
  uuDiscardOutputInProgress();  // nothing being written: nothing happens
  EXPECT_EQ(test::read_file(dir.file("done")), "kept");
}

}  // namespace
}  // namespace vantorelle
