// command_test.cpp - vantorelle-par2 as a user runs it: its lines and exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "par2_writer.hpp"
#include "temp_dir.hpp"

namespace vantorelle::par2 {
namespace {

namespace fs = std::filesystem;
using test::write_file;
using test::Bytes;

struct CommandRun {
  int status;
  std::string output;
};

CommandRun run(const std::string& arguments) {
  const std::string command = std::string(VANTORELLE_PAR2_COMMAND) + " 2>&1 " + arguments;
  FILE* pipe = ::popen(command.c_str(), "r");
  CommandRun r{-1, {}};
  if (!pipe) return r;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) r.output.append(buffer, n);
  const int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// A set of two files in `dir`, with `recovery` recovery blocks.
void make_set(const fs::path& dir, std::uint32_t recovery) {
  std::mt19937 random(3);
  Bytes a(3000), b(1000);
  for (auto& c : a) c = static_cast<unsigned char>(random());
  for (auto& c : b) c = static_cast<unsigned char>(random());
  const test::SetWriter w(256, {{"a.bin", a}, {"b\x1b[2J.bin", b}});
  std::vector<std::uint32_t> exponents;
  for (std::uint32_t e = 0; e < recovery; ++e) exponents.push_back(e);
  for (const test::TestFile& f : w.files()) write_file(dir / f.name, f.data);
  write_file(dir / "s.par2", w.volume(exponents));
}

void cut(const fs::path& file, std::uintmax_t size) { fs::resize_file(file, size); }

TEST(Par2Command, SaysWhatItFoundAndExitsAccordingly) {
  struct Case {
    const char* name;
    std::uint32_t recovery;
    std::uintmax_t cut_a_to;  // 3000: left whole
    const char* command;
    int status;
    const char* last_line;
    const char* redirect = "";  // of standard output
  };
  const Case cases[] = {
      {"intact set, verify", 2, 3000, "verify", 0, "PAR2: all files correct"},
      {"two blocks cut, verify", 2, 2600, "verify", 1, "PAR2: 2 blocks damaged, 2 recovery blocks: repairable"},
      {"two blocks cut, repair", 2, 2600, "repair", 0, "PAR2: all files correct"},
      {"too few recovery blocks, repair", 1, 2600, "repair", 1,
       "PAR2: 2 blocks damaged, 1 recovery blocks: not repairable (1 more needed)"},
      {"intact set, verify, nowhere to write", 2, 3000, "verify", 1,
       "vantorelle-par2: cannot write to standard output: No space left on device", " >/dev/full"},
  };
  for (const Case& c : cases) {
    const vantorelle::test::TempDir dir;
    make_set(dir.path(), c.recovery);
    if (c.cut_a_to < 3000) cut(dir.path() / "a.bin", c.cut_a_to);
    const CommandRun r = run(std::string(c.command) + " " + dir.file("s.par2") + c.redirect);
    EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.output;
    std::string last = r.output.substr(0, r.output.size() - 1);
    last = last.substr(last.rfind('\n') + 1);
    EXPECT_EQ(last, c.last_line) << c.name << "\n" << r.output;
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << c.name << ": a control character printed";
  }
}

TEST(Par2Command, UsageAndUnreadableSetsExitWithTwo) {
  const vantorelle::test::TempDir dir;
  write_file(dir.path() / "junk.par2", Bytes(100, 'x'));
  for (const std::string& arguments : {std::string(""), std::string("check x.par2"),
                                      "verify " + dir.file("none.par2"), "repair " + dir.file("junk.par2")})
    EXPECT_EQ(run(arguments).status, 2) << arguments;
}

}  // namespace
}  // namespace vantorelle::par2
