// decode_cli_test.cpp - vantorelle-decode end to end on generated and independently encoded articles.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "article_writer.hpp"
#include "cli_runner.hpp"

namespace vantorelle {
namespace {

using test::run_cli;

std::string random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string d(n, '\0');
  for (auto& c : d) c = static_cast<char>(rng() & 0xFF);
  return d;
}

class DecodeCli : public testing::Test {
 protected:
  // Writes each text into its own file in the test folder; returns their names.
  std::vector<std::string> write_articles(const std::vector<std::string>& texts,
                                          const std::string& stem = "article") {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < texts.size(); ++i) {
      names.push_back(stem + "-" + std::to_string(i + 1) + ".txt");
      test::write_file(dir.file(names.back()), texts[i]);
    }
    return names;
  }

  test::CliResult run(const std::vector<std::string>& args) {
    return run_cli(VANTORELLE_DECODE, args, dir.path().string());
  }

  // Runs over every file of a folder of the test folder.
  test::CliResult run_folder(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir.path() / folder)) {
      files.push_back(e.path().string());
    }
    return run(files);
  }

  std::string output(const std::string& name) const { return test::read_file(dir.file(name)); }

  test::TempDir dir;
};

struct Shape {
  const char* name;
  bool yenc;
  const char* eol;
};

class DecodeCliShapes : public DecodeCli, public testing::WithParamInterface<Shape> {};

TEST_P(DecodeCliShapes, ShuffledMultiPartDecodesExactly) {
  const Shape& s = GetParam();
  const std::string data = random_bytes(50'000, 11);
  auto parts = s.yenc ? test::yenc_articles("holiday", "photo.jpg", data, 9000, s.eol)
                      : test::uu_articles("holiday", "photo.jpg", data, 300, s.eol);
  ASSERT_GE(parts.size(), 4u);
  std::mt19937 rng(3);
  std::shuffle(parts.begin(), parts.end(), rng);
  const auto names = write_articles(parts);
  const auto result = run(names);
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, dir.file("photo.jpg") + "\n");
  EXPECT_EQ(output("photo.jpg"), data);
  EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Encodings, DecodeCliShapes,
                         testing::Values(Shape{"YencCrLf", true, "\r\n"}, Shape{"YencLf", true, "\n"},
                                         Shape{"YencCr", true, "\r"}, Shape{"UuCrLf", false, "\r\n"},
                                         Shape{"UuLf", false, "\n"}, Shape{"UuCr", false, "\r"}),
                         [](const testing::TestParamInfo<Shape>& info) { return info.param.name; });

TEST_F(DecodeCli, MissingPartIsAWarning) {
  const std::string data = random_bytes(30'000, 12);
  auto parts = test::yenc_articles("gap", "gap.bin", data, 10'000);
  parts.erase(parts.begin() + 1);
  const auto result = run(write_articles(parts));
  EXPECT_EQ(result.status, 1);
  const std::string out = dir.file("gap.bin");
  EXPECT_EQ(result.err,
            "warning: Missing segment 2 for 'gap.bin'\n"
            "warning: Missing 1 segments for 'gap.bin'\n"
            "warning: Missing segment 2 for '" + out + "'\n"
            "error: CRC mismatch for destination file '" + out + "'\n");
  EXPECT_EQ(output("gap.bin"), data.substr(0, 10'000) + data.substr(20'000));
}

TEST_F(DecodeCli, DuplicatedPartIsDecodedOnce) {
  const std::string data = random_bytes(20'000, 13);
  auto parts = test::yenc_articles("dup", "dup.bin", data, 10'000);
  parts.push_back(parts[0]);
  const auto result = run(write_articles(parts));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("dup.bin"), data);
}

TEST_F(DecodeCli, CorruptedPartIsReportedAndKept) {
  const std::string data = random_bytes(30'000, 14);
  auto parts = test::yenc_articles("bad", "bad.bin", data, 10'000);
  // Flip one data character in the middle of part 2.
  std::string& p = parts[1];
  const std::size_t at = p.find("=ypart");
  const std::size_t data_line = p.find('\n', at) + 1;
  p[data_line + 5] = p[data_line + 5] == 'x' ? 'y' : 'x';
  const auto result = run(write_articles(parts));
  EXPECT_EQ(result.status, 1);
  const std::string out = dir.file("bad.bin");
  EXPECT_EQ(result.err,
            "error: CRC mismatch for destination file '" + out + "', Segment 2/3\n"
            "error: CRC mismatch for destination file '" + out + "'\n");
  EXPECT_EQ(output("bad.bin").size(), data.size());
}

TEST_F(DecodeCli, SeveralArticlesPerFileAndTwoBinaries) {
  const std::string a = random_bytes(25'000, 15);
  const std::string b = random_bytes(7'000, 16);
  const auto pa = test::yenc_articles("first", "a.bin", a, 10'000, "\n");
  const auto pb = test::uu_articles("second", "b.txt", b, 60, "\n");
  std::string all;
  for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
    if (i < pb.size()) all += pb[pb.size() - 1 - i];
    if (i < pa.size()) all += pa[i];
  }
  test::write_file(dir.file("all.txt"), all);
  const auto result = run({"all.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("a.bin"), a);
  EXPECT_EQ(output("b.txt"), b);
  // Records are decoded in the order their subjects were first met.
  EXPECT_EQ(result.out, dir.file("b.txt") + "\n" + dir.file("a.bin") + "\n");
}

TEST_F(DecodeCli, SameNameGetsNumberedAndNothingIsOverwritten) {
  test::write_file(dir.file("same.bin"), "precious");
  test::write_file(dir.file("empty.bin"), "");
  const std::string one = random_bytes(1000, 17);
  const std::string two = random_bytes(1000, 18);
  const std::string three = random_bytes(10, 19);
  std::vector<std::string> texts = test::yenc_articles("one", "same.bin", one, 5000);
  texts.push_back(test::yenc_articles("two", "same.bin", two, 5000)[0]);
  texts.push_back(test::yenc_articles("three", "empty.bin", three, 5000)[0]);
  const auto result = run(write_articles(texts));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("same.bin"), "precious");
  EXPECT_EQ(output("same-(0).bin"), one);
  EXPECT_EQ(output("same-(1).bin"), two);
  EXPECT_EQ(output("empty.bin"), three) << "an empty file is overwritten";
}

TEST_F(DecodeCli, NamesNeverLeadOutOfTheFolder) {
  std::filesystem::create_directory(dir.path() / "in");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"../escape.bin", ".._escape.bin"}, {"/etc/passwd", "_etc_passwd"}, {"a/b/c", "a_b_c"}};
  std::vector<std::string> texts;
  for (const auto& [name, _] : cases) {
    texts.push_back(test::yenc_articles("n " + name, name, "data:" + name, 5000)[0]);
  }
  std::vector<std::string> names;
  for (const auto& n : write_articles(texts)) {
    std::filesystem::rename(dir.file(n), dir.path() / "in" / n);
    names.push_back("in/" + n);
  }
  const auto result = run(names);
  EXPECT_EQ(result.status, 0) << result.err;
  for (const auto& [name, safe] : cases) {
    EXPECT_EQ(output("in/" + safe), "data:" + name) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "escape.bin"));
}

TEST_F(DecodeCli, OutputGoesBesideTheFirstFileGiven) {
  std::filesystem::create_directories(dir.path() / "z" / "deep");
  std::filesystem::create_directories(dir.path() / "a");
  const auto parts = test::yenc_articles("where", "where.bin", "abcdef", 3);
  test::write_file(dir.file("z/deep/p2.txt"), parts[1]);
  test::write_file(dir.file("a/p1.txt"), parts[0]);
  const auto result = run({"z/deep/../deep/p2.txt", "a/p1.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, dir.file("z/deep/where.bin") + "\n");
  EXPECT_EQ(output("z/deep/where.bin"), "abcdef");
}

TEST_F(DecodeCli, NothingEncodedIsReported) {
  // No Subject line and no yEnc header: nothing to decode.
  test::write_file(dir.file("plain.txt"), "From: me\n\njust words\n");
  const auto result = run({"plain.txt"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "vantorelle-decode: no encoded data found\n");
}

TEST_F(DecodeCli, UnreadableFileIsReportedAndOthersDecoded) {
  const auto parts = test::yenc_articles("ok", "ok.bin", "fine", 5000);
  const auto names = write_articles(parts);
  std::filesystem::create_directory(dir.path() / "sub");
  const auto result = run({"sub/missing.txt", names[0], "."});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, dir.file("sub/ok.bin") + "\n") << "the first FILE decides the folder";
  EXPECT_NE(result.err.find("vantorelle-decode: cannot read 'sub/missing.txt'"), std::string::npos);
  EXPECT_NE(result.err.find("vantorelle-decode: cannot read '.': is a directory"), std::string::npos);
  EXPECT_EQ(output("sub/ok.bin"), "fine");
}

TEST_F(DecodeCli, UsageErrorsAndInformation) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* in_out;
    const char* in_err;
  };
  const Case cases[] = {
      {{}, 2, "", "no FILE given"},
      {{"--frobnicate", "x"}, 2, "", "unknown option '--frobnicate'"},
      {{"--help"}, 0, "Usage: vantorelle-decode", ""},
      {{"--version"}, 0, "vantorelle-decode ", ""},
  };
  for (const auto& c : cases) {
    const auto result = run(c.args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_NE(result.out.find(c.in_out), std::string::npos) << result.out;
    EXPECT_NE(result.err.find(c.in_err), std::string::npos) << result.err;
  }
}

TEST_F(DecodeCli, DashDashEndsOptions) {
  const auto parts = test::yenc_articles("dash", "dash.bin", "dash", 5000);
  test::write_file(dir.file("-odd.txt"), parts[0]);
  const auto result = run({"--", "-odd.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(output("dash.bin"), "dash");
}

TEST_F(DecodeCli, BundledExamplesDecodeCleanly) {
  std::filesystem::copy(EXAMPLES_DIR, dir.path(), std::filesystem::copy_options::recursive);
  const std::pair<const char*, std::vector<const char*>> sets[] = {
      {"yenc-multipart", {"sunset.ppm"}},
      {"uu-multipart", {"tone.wav"}},
      {"one-file", {"readme.txt", "small.ppm"}},
  };
  for (const auto& [folder, outputs] : sets) {
    const auto result = run_folder(folder);
    EXPECT_EQ(result.status, 0) << folder << ": " << result.err;
    std::string expected;
    for (const char* name : outputs) expected += dir.file(std::string(folder) + "/" + name) + "\n";
    EXPECT_EQ(result.out, expected);
  }
  EXPECT_EQ(output("one-file/readme.txt").substr(0, 16), "These files were");
}

// Articles made by other programs' encoders (see foreign_articles.py).
TEST_F(DecodeCli, IndependentEncodersRoundTrip) {
  const std::string command = std::string("/usr/bin/python3 ") + FOREIGN_ARTICLES + " " +
                              dir.path().string() + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0)
      << "needs python3-sabyenc, python3-yenc and sharutils (tools/setup.sh installs them)";
  const std::string original = output("original.bin");
  const std::pair<const char*, const char*> sets[] = {
      {"sabyenc", "sab.bin"}, {"pyyenc", "py.bin"}, {"sharutils", "uu.bin"}};
  for (const auto& [folder, name] : sets) {
    const auto result = run_folder(folder);
    EXPECT_EQ(result.status, 0) << folder << ": " << result.err;
    EXPECT_EQ(output(std::string(folder) + "/" + name), original) << folder;
  }
}

}  // namespace
}  // namespace vantorelle
