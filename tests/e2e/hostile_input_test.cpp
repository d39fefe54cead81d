// hostile_input_test.cpp - vantorelle-decode on inputs and surroundings meant to break it.
//
// Each case asserts what the user gets: the message, the exit status, the
// bytes of every output, and that nothing the user had is lost or changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "article_writer.hpp"
#include "cli_runner.hpp"

namespace vantorelle {
namespace {

namespace fs = std::filesystem;
using test::run_cli;

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string d(n, '\0');
  for (auto& c : d) c = static_cast<char>(rng() & 0xFF);
  return d;
}

class HostileInput : public testing::Test {
 protected:
  test::CliResult run(const std::vector<std::string>& args,
                      const std::function<void()>& in_child = {}) {
    return run_cli(VANTORELLE_DECODE, args, root(), in_child);
  }
  std::string root() const { return fs::canonical(dir.path()).string(); }
  std::string at(const std::string& name) const { return root() + "/" + name; }
  std::string output(const std::string& name) const { return test::read_file(at(name)); }
  void put(const std::string& name, std::string_view text) { test::write_file(at(name), text); }

  test::TempDir dir;
};

// A one-part yEnc article whose part CRC is wrong: decodes, and says so.
std::string damaged_article(const std::string& name, const std::string& data) {
  std::string text = test::yenc_articles("damaged", name, data, 100000)[0];
  const std::size_t at = text.find("pcrc32=") + 7;
  text[at] = text[at] == '0' ? '1' : '0';
  return text;
}

TEST_F(HostileInput, OnlyRegularFilesAreRead) {
  ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
  fs::create_directory(at("folder"));
  put("good.txt", test::yenc_articles("good", "good.bin", "fine", 100)[0]);
  struct Case {
    std::string given;
    std::string why;
  };
  const Case cases[] = {
      {"fifo", "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {"/dev/urandom", "not a regular file"},
      {"folder", "is a directory"},
  };
  for (const Case& c : cases) {
    fs::remove(at("good.bin"));
    const auto result = run({"good.txt", c.given});
    EXPECT_EQ(result.status, 2) << c.given;
    EXPECT_EQ(result.err, "vantorelle-decode: cannot read '" + c.given + "': " + c.why + "\n");
    EXPECT_EQ(result.out, at("good.bin") + "\n") << "the other files are still decoded";
    EXPECT_EQ(output("good.bin"), "fine");
  }
}

TEST_F(HostileInput, ClosedStandardStreamsNeverReceiveOutputBytes) {
  const std::string data = random_bytes(3000, 1);
  put("a.txt", damaged_article("a.bin", data));
  const std::pair<const char*, int> cases[] = {{"standard input", 0},
                                               {"standard output", 1},
                                               {"standard error", 2}};
  for (const auto& [what, fd] : cases) {
    fs::remove(at("a.bin"));
    const int closed = fd;
    const auto result = run({"a.txt"}, [closed] { ::close(closed); });
    EXPECT_EQ(result.status, 1) << what << " closed: the CRC error still counts";
    EXPECT_EQ(output("a.bin"), data) << what << " closed: the output holds only its bytes";
  }
}

TEST_F(HostileInput, ListThatCannotBeWrittenIsAnError) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  put("a.txt", test::yenc_articles("listed", "a.bin", "bytes", 100)[0]);
  const auto result = run({"a.txt"}, [] {
    const int full = ::open("/dev/full", O_WRONLY);
    ::dup2(full, 1);
    ::close(full);
  });
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "vantorelle-decode: cannot write the list of output files: No space left on device\n");
  EXPECT_EQ(output("a.bin"), "bytes") << "the output itself is written";
}

TEST_F(HostileInput, FileNamedThroughALinkedFolderIsTheFileTheKernelOpens) {
  fs::create_directories(at("real/sub"));
  fs::create_directory_symlink(at("real/sub"), at("link"));
  put("a.txt", test::yenc_articles("here", "here.bin", "wrong file", 100)[0]);
  put("real/a.txt", test::yenc_articles("there", "there.bin", "right file", 100)[0]);
  const auto result = run({"link/../a.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, at("real/there.bin") + "\n") << "outputs go to the file's real folder";
  EXPECT_EQ(output("real/there.bin"), "right file");
  EXPECT_FALSE(fs::exists(at("here.bin")));
}

}  // namespace
}  // namespace vantorelle
