// decode_cli_test.cpp - vantorelle-decode end to end on generated and independently encoded articles.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "article_writer.hpp"
#include "cli_runner.hpp"

namespace vantorelle {
namespace {

using test::run_cli;

using test::random_bytes;

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
            "warning: Filled 10000 bytes at offset 10000 of '" + out + "' with zeros\n");
  EXPECT_TRUE(output("gap.bin") == data.substr(0, 10'000) + std::string(10'000, '\0') + data.substr(20'000))
      << "part 3 at its place";
}

TEST_F(DecodeCli, DuplicatedPartIsDecodedOnceAndReported) {
  const std::string data = random_bytes(20'000, 13);
  auto parts = test::yenc_articles("dup", "dup.bin", data, 10'000);
  parts.push_back(parts[0]);
  const auto result = run(write_articles(parts));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "warning: Duplicate segment 1 for 'dup.bin' ignored\n");
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

TEST_F(DecodeCli, NothingEncodedIsReported) {
  // No Subject line and no yEnc header: nothing to decode.
  test::write_file(dir.file("plain.txt"), "From: me\n\njust words\n");
  const auto result = run({"plain.txt"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "vantorelle-decode: no encoded data found\n");
}

TEST_F(DecodeCli, UsageErrorsAndInformation) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* in_out;  // empty: nothing may be printed there
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
    const std::string what = c.args.empty() ? "no arguments" : c.args[0];
    EXPECT_EQ(result.status, c.status) << what;
    for (const auto& [stream, expected] : {std::pair{result.out, c.in_out}, std::pair{result.err, c.in_err}}) {
      if (*expected == '\0') {
        EXPECT_EQ(stream, "") << what;
      } else {
        EXPECT_NE(stream.find(expected), std::string::npos) << what << ": " << stream;
      }
    }
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

// One yEnc article: a Subject line (none when empty), the piece, the =yend line.
std::string yenc_article(const std::string& subject, const std::string& header, std::string_view piece,
                         bool yend = true) {
  std::string text = subject.empty() ? "" : "Subject: " + subject + "\n\n";
  text += header + "\n" + test::lines(test::yenc_lines(piece));
  if (yend) text += "=yend size=" + std::to_string(piece.size()) + " pcrc32=" + test::hex8(test::crc32_of(piece)) + "\n";
  return text;
}

struct TrustCase {
  const char* name;
  std::vector<std::string> files;  // written as in-1.txt, in-2.txt, ...
  int status;
  std::string err;                 // "%d/" stands for the test folder with its slash
  std::vector<std::pair<std::string, std::string>> outputs;  // name, bytes
  std::vector<std::string> absent;                         // files that must not be made
};

std::vector<TrustCase> trust_cases() {
  const std::string data = random_bytes(9000, 21);
  const std::string_view d(data);
  const std::string size = std::to_string(data.size());
  std::vector<TrustCase> cases;

  // Missing last parts: uuencoded parts 1 and 2 of three.
  {
    auto uu = test::uu_articles("last", "last.bin", data, 70, "\n");
    if (uu.size() == 3) uu.pop_back();
    cases.push_back({"missing last part", uu, 1,
                     "warning: Missing segment 3 for 'last.bin'\n"
                     "warning: Missing 1 segments for 'last.bin'\n"
                     "warning: Missing segment 3 for '%d/last.bin'\n",
                     {}, {}});
  }
  // A counter naming part two billion: a prompt run, a hundred lines a pass.
  {
    std::string err;
    for (int n = 1; n <= 100; ++n) err += "warning: Missing segment " + std::to_string(n) + " for 'h.bin'\n";
    err += "warning: Missing 1999999999 segments for 'h.bin'\n";
    for (int n = 1; n <= 100; ++n) err += "warning: Missing segment " + std::to_string(n) + " for '%d/h.bin'\n";
    cases.push_back({"huge part number",
                     {yenc_article("h (2000000000/1)", "=ybegin line=128 size=1 name=h.bin", "h")}, 1, err,
                     {{"h.bin", "h"}}, {}});
  }
  // Truncated yEnc: a single part that lost its end.
  cases.push_back({"single part cut short",
                   {yenc_article("cut", "=ybegin line=128 size=" + size + " name=cut.bin", d.substr(0, 4000), false)},
                   1, "error: Size mismatch for destination file '%d/cut.bin', Segment 1/1\n",
                   {{"cut.bin", data.substr(0, 4000)}}, {}});
  // A part of a multi-part file cut short.
  {
    auto parts = test::yenc_articles("trunc", "t.bin", data, 3000, "\n");
    parts[1].resize(parts[1].find("=yend") - 500);
    cases.push_back({"part cut short", parts, 1,
                     "error: Size mismatch for destination file '%d/t.bin', Segment 2/3\n"
                     "warning: Filled 488 bytes at offset 5512 of '%d/t.bin' with zeros\n",
                     {}, {}});
  }
  // "part=" in a file name.
  cases.push_back({"part= in the name",
                   {yenc_article("name", "=ybegin line=128 size=" + size + " name=part=1.bin", data)}, 0, "",
                   {{"part=1.bin", data}}, {}});
  // Subject-less yEnc: two binaries, and one binary in parts given in reverse.
  {
    std::vector<std::string> files = {
        yenc_article("", "=ybegin line=128 size=3 name=one.bin", "one"),
        yenc_article("", "=ybegin line=128 size=3 name=two.bin", "two")};
    for (int p = 3; p >= 1; --p) {
      const std::size_t begin = static_cast<std::size_t>(p - 1) * 3000;
      files.push_back(yenc_article("", "=ybegin part=" + std::to_string(p) + " total=3 line=128 size=" + size +
                                           " name=parts.bin\n=ypart begin=" + std::to_string(begin + 1) +
                                           " end=" + std::to_string(begin + 3000),
                                   d.substr(begin, 3000)));
    }
    cases.push_back({"without Subject lines", files, 0, "",
                     {{"one.bin", "one"}, {"two.bin", "two"}, {"parts.bin", data}}, {}});
  }
  // A plain uuencoded file, and a complete body of one short line.
  {
    std::string plain = "begin 644 plain.bin\n";
    for (const auto& l : test::uuencode_lines(d.substr(10))) plain += l + "\n";
    plain += "end\n";
    std::string tiny = "Subject: tiny\n\nbegin 644 tiny.txt\n";
    for (const auto& l : test::uuencode_lines("tiny")) tiny += l + "\n";
    tiny += "end\n";
    cases.push_back({"uuencoded without Subject, and a one-line body", {plain, tiny}, 0, "",
                     {{"plain.bin", data.substr(10)}, {"tiny.txt", "tiny"}}, {}});
  }
  // Text is not a damaged binary.
  cases.push_back({"text articles only",
                   {"Subject: hello\n\nJust words.\n-- \nsignature\n", "Subject: NEWS\n\nHELLO ALL\n"}, 1,
                   "vantorelle-decode: no encoded data found\n", {}, {"Untitled.Txt"}});
  // A yEnc posting with line=2000 and no CRC at all.
  cases.push_back({"long lines",
                   {"Subject: wide\n\n=ybegin line=2000 size=" + size + " name=wide.bin\n" +
                    test::lines(test::yenc_lines(data, 2000)) + "=yend size=" + size + "\n"},
                   0, "", {{"wide.bin", data}}, {}});
  // Two posts under one subject without a counter.
  cases.push_back({"two posts under one subject",
                   {yenc_article("same", "=ybegin line=128 size=5 name=first.bin", "first"),
                    yenc_article("same", "=ybegin line=128 size=6 name=second.bin", "second")},
                   1, "warning: Duplicate segment 1 for 'first.bin' ignored\n", {{"first.bin", "first"}},
                   {"second.bin"}});
  // Three uuencoded parts all labelled "(1/3)".
  {
    auto uu = test::uu_articles("same", "same.bin", data, 70, "\n");
    for (auto& part : uu) {
      const std::size_t at = part.find(" [");
      part.replace(at, part.find(']', at) + 1 - at, " (1/3)");
    }
    cases.push_back({"three parts labelled one", uu, 1,
                     "warning: Missing segment 2 for 'same.bin'\n"
                     "warning: Missing segment 3 for 'same.bin'\n"
                     "warning: Missing 2 segments for 'same.bin'\n"
                     "warning: Duplicate segment 1 for 'same.bin' ignored\n"
                     "warning: Duplicate segment 1 for 'same.bin' ignored\n"
                     "warning: Missing segment 2 for '%d/same.bin'\n"
                     "warning: Missing segment 3 for '%d/same.bin'\n",
                     {}, {}});
  }
  // The rightmost counter is the part's, a set counter left of it is not.
  {
    auto uu = test::uu_articles("Holiday (1/2) -", "set.bin", d.substr(0, 8000), 70, "\n");
    cases.push_back({"set counter left of the part counter", uu, 0, "", {{"set.bin", data.substr(0, 8000)}}, {}});
  }
  // Folded Subject headers carry the counter on their second line.
  {
    auto parts = test::yenc_articles("folded", "fold.bin", data, 3000, "\r\n");
    for (auto& part : parts) part.replace(part.find(" ("), 1, "\r\n\t");
    cases.push_back({"folded subjects", parts, 0, "", {{"fold.bin", data}}, {}});
  }
  // Three complete pictures posted as one subject's three parts.
  {
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> outputs;
    for (int n = 1; n <= 3; ++n) {
      const std::string name = "pic" + std::to_string(n) + ".jpg";
      const std::string bytes = data.substr(static_cast<std::size_t>(n) * 1000, 500 * static_cast<std::size_t>(n));
      std::string post = "Subject: Holiday pictures (" + std::to_string(n) + "/3)\n\nbegin 644 " + name + "\n";
      post += test::lines(test::uuencode_lines(bytes)) + "end\n";
      files.push_back(post);
      outputs.emplace_back(name, bytes);
    }
    cases.push_back({"three pictures under one subject", files, 0, "", outputs, {}});
  }
  // A signature after yEnc data that starts with "begin ".
  cases.push_back({"begin in a signature",
                   {yenc_article("sig", "=ybegin line=128 size=3 name=sig.bin", "sig") + "-- \nbegin again next week\n"},
                   0, "", {{"sig.bin", "sig"}}, {"next week"}});
  // npm yencode's post(): a part 1 of 1 whose =yend line ends the file without a break.
  {
    const std::string piece = data.substr(0, 2000);
    std::string post = "Subject: npm - \"npm.bin\" yEnc (1/1)\r\n\r\n=ybegin part=1 total=1 line=128 size=2000 "
                       "name=npm.bin\r\n=ypart begin=1 end=2000\r\n" +
                       test::lines(test::yenc_lines(piece), "\r\n") + "=yend size=2000 part=1 pcrc32=" +
                       test::hex8(test::crc32_of(piece)) + " crc32=" + test::hex8(test::crc32_of(piece));
    cases.push_back({"yEnc ending without a line break", {post}, 0, "", {{"npm.bin", piece}}, {}});
  }
  // A yEnc article whose =yend line ends the file without a break, as npm
  // yencode's post() writes it: its CRC is checked, so a changed byte shows.
  {
    std::string post = yenc_article("flip", "=ybegin line=128 size=900 name=flip.bin", d.substr(0, 900));
    post.pop_back();
    std::string flipped = post;
    flipped[flipped.find('\n', flipped.find("=ybegin")) + 5] ^= 1;
    cases.push_back({"=yend without final break", {post}, 0, "", {{"flip.bin", data.substr(0, 900)}}, {}});
    cases.push_back({"=yend without final break, a byte changed", {flipped}, 1,
                     "error: CRC mismatch for destination file '%d/flip.bin', Segment 1/1\n", {}, {}});
  }
  // Keys in capitals, CRCs written with 0x.
  cases.push_back({"yEnc keys in capitals, 0x CRC",
                   {"Subject: caps\n\n=ybegin LINE=128 SIZE=3 NAME=caps.bin\n" + test::lines(test::yenc_lines("cap")) +
                    "=yend SIZE=3 CRC32=0x" + test::hex8(test::crc32_of("cap")) + "\n"},
                   0, "", {{"caps.bin", "cap"}}, {}});
  // uuencode as sharutils writes it for 12 bytes, saved without the final
  // break; separator lines before the data; a last part cut before its end.
  {
    std::string small = "begin 644 small.bin\n";
    for (const auto& l : test::uuencode_lines(d.substr(0, 12))) small += l + "\n";
    small += "end";
    auto parts = test::uu_articles("sep", "sep.bin", data, 70, "\n");
    parts[1].insert(parts[1].find("\n\n") + 2, "*****\nENJOY!\n=====\nFILE: PIC.JPG\n=====\n");
    cases.push_back({"uuencoded without final break, separators before data", {small, parts[0], parts[1], parts[2]},
                     0, "note: Warning: no short data line.\n",  // 9,000 bytes: full lines only
                     {{"small.bin", data.substr(0, 12)}, {"sep.bin", data}}, {}});
    auto cut = test::uu_articles("cut", "cut.bin", data, 70, "\n");
    cut[2].resize(cut[2].rfind("\n`\n") + 1);
    cases.push_back({"uuencoded last part without its end", cut, 1,
                     "error: Early EOF for file '%d/in-3.txt'\n", {}, {}});
  }
  // A negative counter names no part.
  cases.push_back({"negative counter",
                   {yenc_article("neg (-3/2)", "=ybegin line=128 size=3 name=neg.bin", "neg")}, 0, "",
                   {{"neg.bin", "neg"}}, {}});
  return cases;
}

TEST_F(DecodeCli, VerdictsCanBeTrusted) {
  for (const auto& c : trust_cases()) {
    test::TempDir case_dir;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      names.push_back(case_dir.file("in-" + std::to_string(i + 1) + ".txt"));
      test::write_file(names.back(), c.files[i]);
    }
    const auto result = run(names);
    std::string err = c.err;
    for (std::size_t at; (at = err.find("%d/")) != std::string::npos;) {
      err.replace(at, 3, case_dir.path().string() + "/");
    }
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err.substr(0, 2000);
    EXPECT_EQ(result.err, err) << c.name;
    for (const auto& [name, bytes] : c.outputs) {
      EXPECT_EQ(test::read_file(case_dir.file(name)), bytes) << c.name << ": " << name;
    }
    for (const auto& name : c.absent) {
      EXPECT_FALSE(std::filesystem::exists(case_dir.file(name))) << c.name << ": " << name;
    }
  }
}

TEST_F(DecodeCli, ExitStatusCountsWarningsButNotNotes) {
  const std::string data = random_bytes(900, 22);  // twenty full lines: no short line
  struct Case {
    const char* name;
    std::string text;
    int status;
    const char* err;
  };
  std::string notes = "Subject: notes\n\nbegin 644 n.bin\n";
  for (const auto& l : test::uuencode_lines(data)) notes += l + "\n";
  notes += "end\n";
  const Case cases[] = {
      {"a note alone", notes, 0, "note: Warning: no short data line.\n"},
      {"a warning alone", test::yenc_articles("w", "w.bin", data, 300, "\n")[0], 1,
       "warning: Missing segment 2 for 'w.bin'\n"},
  };
  for (const auto& c : cases) {
    test::TempDir case_dir;
    test::write_file(case_dir.file("in.txt"), c.text);
    const auto result = run({case_dir.file("in.txt")});
    EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.substr(0, std::string_view(c.err).size()), c.err) << c.name;
    EXPECT_EQ(result.err.find("error:"), std::string::npos) << c.name;
  }
}

TEST_F(DecodeCli, InputsAreScannedInSortedOrderWhateverTheOrderGiven) {
  // Without Subject lines the same name gathers both files as part 1: the
  // one scanned first is decoded, the other reported as a duplicate.
  test::write_file(dir.file("b.txt"), yenc_article("", "=ybegin line=128 size=1 name=x.bin", "b"));
  test::write_file(dir.file("a.txt"), yenc_article("", "=ybegin line=128 size=1 name=x.bin", "a"));
  test::write_file(dir.file("c.txt"), yenc_article("", "=ybegin line=128 size=1 name=y.bin", "c"));
  const auto result = run({"c.txt", "b.txt", "a.txt"});
  EXPECT_EQ(output("x.bin"), "a");
  EXPECT_EQ(result.out, dir.file("x.bin") + "\n" + dir.file("y.bin") + "\n") << "records in order of first sight";
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
