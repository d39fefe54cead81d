// hostile_input_test.cpp - vantorelle-decode on inputs and surroundings meant to break it.
//
// Each case asserts what the user gets: the message, the exit status, the
// bytes of every output, and that nothing the user had is lost or changed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <random>

#include "article_writer.hpp"
#include "cli_runner.hpp"
#include "intake_table.hpp"

namespace vantorelle {
namespace {

namespace fs = std::filesystem;
using test::run_cli;

using test::random_bytes;

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

TEST_F(HostileInput, PathsBecomeInputsAsInTheApplication) {
  for (const test::IntakeCase& c : test::intake_cases()) {
    SCOPED_TRACE(c.what);
    test::TempDir fresh;
    const std::string folder = fs::canonical(fresh.path()).string();
    test::make_intake_tree(folder);
    const auto result = run_cli(VANTORELLE_DECODE, c.given, folder);
    std::string refused;
    for (const auto& [given, why] : c.refused) {
      refused += "vantorelle-decode: cannot read '" + given + "': " + why + "\n";
    }
    for (const std::string& given : c.skipped) {
      refused += "note: Skipping '" + given + "': the same file as '" + folder + "/" + c.first + "'\n";
    }
    EXPECT_EQ(result.err, refused);
    EXPECT_EQ(result.status, c.refused.empty() ? 0 : 2);
    EXPECT_EQ(test::outputs_below(folder), c.outputs);
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
  put("a.txt", test::yenc_articles("one", "a.bin", "bytes", 100)[0] + test::yenc_articles("two", "b.bin", "more", 100)[0] +
                   test::yenc_articles("three", "c.bin", "last", 100)[0]);
  // A full disk, and a reader gone before the list is written (| head -1): no SIGPIPE mid-run.
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"No space left on device", [] { ::dup2(::open("/dev/full", O_WRONLY), 1); }},
      {"Broken pipe",
       [] {
         int ends[2];
         if (::pipe(ends) == 0 && ::close(ends[0]) == 0) ::dup2(ends[1], 1);
       }},
  };
  for (const auto& [reason, standard_output] : cases) {
    SCOPED_TRACE(reason);
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) fs::remove(at(name));
    const auto result = run({"a.txt"}, standard_output);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, std::string("vantorelle-decode: cannot write the list of output files: ") + reason + "\n");
    EXPECT_EQ(output("a.bin") + output("b.bin") + output("c.bin"), "bytesmorelast") << "every output is written";
  }
}

TEST_F(HostileInput, InputsWithoutArticlesSayNoEncodedDataFound) {
  std::mt19937 rng(7);
  std::string garbage(1 << 20, '\0');
  for (auto& c : garbage) c = static_cast<char>(rng() & 0xFF);
  const std::pair<const char*, std::string> cases[] = {
      {"empty file", ""},
      {"only CRs", std::string(100000, '\r')},
      {"only LFs", std::string(100000, '\n')},
      {"NUL bytes", std::string(100000, '\0')},
      {"binary garbage", garbage},
      {"one 10,000-character line", std::string(10000, 'M')},
  };
  for (const auto& [what, text] : cases) {
    put("in.txt", text);
    const auto result = run({"in.txt"});
    EXPECT_EQ(result.status, 1) << what;
    EXPECT_EQ(result.out, "") << what;
    EXPECT_EQ(result.err, "vantorelle-decode: no encoded data found\n") << what;
    EXPECT_EQ(std::distance(fs::directory_iterator(root()), fs::directory_iterator()), 1)
        << what << ": nothing but the input in the folder";
  }
}

TEST_F(HostileInput, LongLinesAroundAnArticleDoNotDisturbIt) {
  const std::string data = random_bytes(20000, 2);
  std::string article = test::yenc_articles("long lines", "long.bin", data, 100000, "\n")[0];
  // A 10,000-character header line, and 10,000 characters of text after the article.
  article.insert(0, "X-Face: " + std::string(10000, 'x') + "\n");
  article += std::string(10000, 'y') + "\n";
  put("in.txt", article);
  const auto result = run({"in.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("long.bin"), data);
}

TEST_F(HostileInput, DiskFillingDuringTheWriteIsReportedAndKeepsWhatWasWritten) {
  const std::string big = random_bytes(300000, 3);
  const std::string small = random_bytes(100, 4);
  put("a.txt", test::yenc_articles("big", "big.bin", big, 100000)[0] +
                   test::yenc_articles("small", "small.bin", small, 100000)[0]);
  const std::string input = test::read_file(at("a.txt"));
  constexpr rlim_t kRoom = 50000;
  // The file-size limit makes every write past kRoom bytes fail, as a full disk would.
  const auto result = run({"a.txt"}, [] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kRoom, kRoom};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  });
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("error: Unable to write destination file '" + at("big.bin") +
                            "', will skip all related parts\n"),
            std::string::npos)
      << result.err;
  const std::string partial = output("big.bin");
  EXPECT_LE(partial.size(), kRoom);
  EXPECT_EQ(partial, big.substr(0, partial.size())) << "what was written is the start of the file";
  EXPECT_EQ(output("small.bin"), small) << "the next output is still decoded";
  EXPECT_EQ(test::read_file(at("a.txt")), input) << "the input is kept";
}

TEST_F(HostileInput, ArticlesPastFourGibibytesDecode) {
  const std::string data = random_bytes(30000, 5);
  const auto parts = test::yenc_articles("far", "far.bin", data, 10000, "\n");
  const std::string other = random_bytes(5000, 6);
  constexpr off_t kFar = (off_t{1} << 32) + 12345;
  {
    // Part 1 at the start, a hole of zeros, then parts 3 and 2 and another file.
    const int fd = ::open(at("huge.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const std::string tail = "\n" + parts[2] + parts[1] +
                             test::yenc_articles("near the end", "other.bin", other, 10000, "\n")[0];
    const bool written = ::pwrite(fd, parts[0].data(), parts[0].size(), 0) ==
                             static_cast<ssize_t>(parts[0].size()) &&
                         ::pwrite(fd, tail.data(), tail.size(), kFar) ==
                             static_cast<ssize_t>(tail.size());
    ::close(fd);
    if (!written) GTEST_SKIP() << "no room for a sparse file past 4 GiB here";
  }
  const auto result = run({"huge.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("far.bin"), data);
  EXPECT_EQ(output("other.bin"), other);
}

TEST_F(HostileInput, NamesFromTheDataStayOneSafeNameInTheFolder) {
  fs::create_directory(at("in"));
  const std::string n251(251, 'n');
  test::write_file(at("in/" + n251 + ".bin"), "the user's file");
  struct Case {
    std::string name;      // as the data gives it
    std::string expected;  // the output's name in the folder
  };
  const std::vector<Case> cases = {
      {"../up.bin", ".._up.bin"},
      {"..", ".-(0)."},  // "in/.." is the parent folder, which is taken
      {"-rf.bin", "-rf.bin"},
      {"\x1b]0;owned\x07\x1b[2J.txt", "_]0;owned__[2J.txt"},
      {"tab\there\x01\x7f.txt", "tab_here__.txt"},  // a line break would end the name
      {n251 + ".bin", std::string(247, 'n') + "-(0).bin"},
      {std::string(300, 'l') + ".bin", std::string(255, 'l')},  // the name is cut at 255 first
  };
  std::vector<std::string> inputs;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    inputs.push_back("in/a" + std::to_string(i) + ".txt");
    put(inputs.back(), test::yenc_articles("name " + std::to_string(i), cases[i].name,
                                           "data " + std::to_string(i), 100)[0]);
  }
  const auto result = run(inputs);
  EXPECT_EQ(result.status, 0) << result.err;
  std::string listed;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(output("in/" + cases[i].expected), "data " + std::to_string(i)) << cases[i].name;
    listed += at("in/" + cases[i].expected) + "\n";
  }
  EXPECT_EQ(result.out, listed) << "no control character reaches the terminal";
  EXPECT_EQ(output("in/" + n251 + ".bin"), "the user's file");
}

TEST_F(HostileInput, OutputsNeverGoThroughLinksToFilesElsewhere) {
  fs::create_directories(at("in"));
  fs::create_directories(at("elsewhere"));
  put("elsewhere/hard.bin", "");
  put("elsewhere/soft.bin", "");
  fs::create_hard_link(at("elsewhere/hard.bin"), at("in/hard.bin"));
  fs::create_symlink(at("elsewhere/soft.bin"), at("in/soft.bin"));
  fs::create_symlink(at("elsewhere/new.bin"), at("in/new.bin"));
  put("in/a.txt", test::yenc_articles("h", "hard.bin", "one", 100)[0] +
                      test::yenc_articles("s", "soft.bin", "two", 100)[0] +
                      test::yenc_articles("n", "new.bin", "three", 100)[0]);
  const auto result = run({"in/a.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("in/hard-(0).bin"), "one");
  EXPECT_EQ(output("in/soft-(0).bin"), "two");
  EXPECT_EQ(output("in/new-(0).bin"), "three");
  EXPECT_EQ(output("elsewhere/hard.bin"), "");
  EXPECT_EQ(output("elsewhere/soft.bin"), "");
  EXPECT_FALSE(fs::exists(at("elsewhere/new.bin")));

  // Nor through a link where a folder option would put them.
  fs::create_directory_symlink("../elsewhere", at("in/Rome"));
  put("in/b.txt", test::yenc_articles("Rome", "Rome2004.jpg", "four", 100)[0]);
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"--prefix-dirs"}, std::vector<std::string>{"--dir", "Rome"}}) {
    const std::string& option = options.front();
    fs::remove(at("in/Rome2004.jpg"));
    std::vector<std::string> args = options;
    args.push_back("in/b.txt");
    const auto linked = run(args);
    EXPECT_EQ(linked.status, 1) << option;
    EXPECT_EQ(linked.err, "warning: Not following the link '" + at("in/Rome") + "': output stays in '" + at("in/") +
                              "'\n")
        << option;
    EXPECT_EQ(output("in/Rome2004.jpg"), "four") << option;
    EXPECT_FALSE(fs::exists(at("elsewhere/Rome2004.jpg"))) << option;
  }
}

}  // namespace
}  // namespace vantorelle
