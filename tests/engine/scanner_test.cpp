// scanner_test.cpp - segments, positions and header values found in input files.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace vantorelle {
namespace {

using test::HookRecorder;
using test::lines;
using test::TempDir;
using test::write_file;

class Scanner : public testing::Test {
 protected:
  // Writes bytes to a file in the test folder and scans it.
  Catalogue scan(std::string_view bytes, const std::string& name = "in") {
    const std::string path = dir.file(name);
    write_file(path, bytes);
    uuScanFile(catalogue, path);
    return std::move(catalogue);
  }
  TempDir dir;
  HookRecorder hooks;
  Catalogue catalogue;
};

TEST_F(Scanner, OffsetsOfSubjectSegmentForEachLineBreak) {
  struct Case {
    const char* eol;
    std::uint64_t start;
    std::uint64_t end;
  };
  for (const Case& c : {Case{"\r\n", 21, 34}, Case{"\n", 19, 31}, Case{"\r", 19, 31}}) {
    Catalogue cat;
    const std::string path = dir.file("offsets");
    write_file(path, lines({"X", "Subject: a (1/2)", "begin 644 f"}, c.eol));
    uuScanFile(cat, path);
    ASSERT_EQ(cat.size(), 1u);
    const OutputFileRecord& r = cat.records()[0];
    EXPECT_EQ(r.subject, " a ");
    EXPECT_EQ(r.dest_name, "f");
    EXPECT_EQ(r.part_total, 2);
    EXPECT_EQ(r.segments[0].start_offset, c.start);
    EXPECT_EQ(r.segments[0].end_offset, c.end);
    EXPECT_FALSE(r.segments[0].no_begin_line);
  }
}

TEST_F(Scanner, SubjectOnFirstLineStartsAtZero) {
  Catalogue cat = scan(lines({"Subject: a (1/2)", "", "begin 644 f"}));
  EXPECT_EQ(cat.records()[0].segments[0].start_offset, 0u);
}

TEST_F(Scanner, OneLineFileWithoutBreakIsExamined) {
  Catalogue cat = scan("Subject: a (1/2)");
  ASSERT_EQ(cat.size(), 1u);
  EXPECT_EQ(cat.records()[0].segments[0].start_offset, 0u);
  EXPECT_EQ(cat.records()[0].segments[0].end_offset, 16u);
  EXPECT_TRUE(cat.records()[0].segments[0].no_begin_line);  // the decoder need not look for one
}

TEST_F(Scanner, LastLineWithoutBreakIsExamined) {
  const std::string head = lines({"Subject: a (1/1)", "=ybegin line=128 size=10 name=a"});
  const std::string last = "=yend size=10 part=1 pcrc32=a1b2c3d4";
  Catalogue without = scan(head + last, "without");
  EXPECT_EQ(without.records()[0].segments[0].part_crc, 0xA1B2C3D4u);
  EXPECT_EQ(without.records()[0].segments[0].end_offset, head.size() + last.size());
  Catalogue with = scan(head + last + "\n", "with");
  EXPECT_EQ(with.records()[0].segments[0].part_crc, 0xA1B2C3D4u);
  Catalogue begin = scan("Subject: a (1/1)\r\nbegin 644 last.bin", "begin");
  EXPECT_EQ(begin.records()[0].dest_name, "last.bin");
  Catalogue subject = scan("x\nSubject: b (2/3)", "subject");
  EXPECT_EQ(subject.records()[0].part_max, 2);
}

TEST_F(Scanner, YbeginWithoutSubjectOpensSegmentWhereItBegins) {
  struct Case {
    std::vector<std::string> text;
    std::uint64_t start;
  };
  const Case cases[] = {
      {{"=ybegin line=128 size=3 name=x.bin", "data"}, 0},
      {{"From: me", "=ybegin line=128 size=3 name=x.bin"}, 9},
      {{"From: me", "Date: now", "=ybegin line=128 size=3 name=x.bin"}, 19},
  };
  for (const auto& c : cases) {
    Catalogue cat;
    const std::string path = dir.file("yb");
    write_file(path, lines(c.text));
    uuScanFile(cat, path);
    ASSERT_EQ(cat.size(), 1u);
    const OutputFileRecord& r = cat.records()[0];
    EXPECT_EQ(r.subject, "");
    EXPECT_EQ(r.kind, kKindYEnc);
    EXPECT_EQ(r.dest_name, "x.bin");
    EXPECT_EQ(r.segments[0].part, 1);
    EXPECT_EQ(r.segments[0].start_offset, c.start);
  }
}

TEST_F(Scanner, ReadErrorIsReportedNotTakenForTheEnd) {
  // Reading this process's memory from address 0 fails with EIO.
  uuScanFile(catalogue, "/proc/self/mem");
  EXPECT_TRUE(catalogue.empty());
  EXPECT_EQ(hooks.messages, (std::vector<test::Message>{{0, "Unable to read source file '/proc/self/mem'"}}));
}

TEST_F(Scanner, EmptyFileAnnouncedButNotPolled) {
  Catalogue cat = scan("");
  EXPECT_TRUE(cat.empty());
  ASSERT_EQ(hooks.busy.size(), 1u);
  EXPECT_EQ(hooks.busy[0], (test::BusyCall{1, -1, dir.file("in"), 0}));
}

TEST_F(Scanner, PollsBeforeEachLineAfterTheFirst) {
  uuSetBusyCallback(
      [&](int type, int state, std::string_view text, int percent) {
        hooks.busy.push_back({type, state, std::string(text), percent});
        return 0;
      },
      0);
  scan(lines({"a", "b", "c"}));
  ASSERT_EQ(hooks.busy.size(), 3u);  // announcement, then lines 2 and 3
  EXPECT_EQ(hooks.busy[1], (test::BusyCall{0, 0, "", 0}));
}

TEST_F(Scanner, TwoArticlesInOneFileMeetWithoutGap) {
  const std::string text =
      lines({"Subject: a (1/2)", "", "begin 644 f", "M", "Subject: a (2/2)", "", "end"});
  Catalogue cat = scan(text);
  ASSERT_EQ(cat.size(), 1u);
  const auto& segs = cat.records()[0].segments;
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[0].end_offset, segs[1].start_offset);
  EXPECT_EQ(segs[1].start_offset, text.find("Subject: a (2/2)") + 17);
  EXPECT_EQ(segs[1].end_offset, text.size());
}

// One line per record: name, kind, part total, then its segments' part
// numbers in list order ("h" marks a segment searched without a header).
std::vector<std::string> summary(const Catalogue& cat) {
  std::vector<std::string> out;
  for (const auto& r : cat.records()) {
    std::string line = "'" + r.subject + "' " + r.dest_name + (r.kind == kKindYEnc ? " y" : " u") +
                       " of " + std::to_string(r.part_total) + ":";
    for (const auto& seg : r.segments) line += " " + std::to_string(seg.part) + (seg.headerless ? "h" : "");
    out.push_back(line);
  }
  return out;
}

TEST_F(Scanner, HeaderLinesOpenRecordsAndSegments) {
  struct Case {
    const char* name;
    std::vector<std::vector<std::string>> files;
    std::vector<std::string> records;
  };
  const std::string yend = "=yend size=3";
  const Case cases[] = {
      {"two yEnc files of different names",
       {{"=ybegin line=128 size=3 name=first.bin", "x", yend},
        {"=ybegin line=128 size=3 name=second.bin", "x", yend}},
       {"'' first.bin y of 1: 1", "'' second.bin y of 1: 1"}},
      {"parts gathered by name across files",
       {{"=ybegin part=2 total=3 line=128 size=9 name=m.bin", "=ypart begin=4 end=6", "x", yend},
        {"=ybegin part=1 total=3 line=128 size=9 name=m.bin", "=ypart begin=1 end=3", "x", yend},
        {"=ybegin part=3 total=3 line=128 size=9 name=m.bin", "=ypart begin=7 end=9", "x", yend}},
       {"'' m.bin y of 3: 2 1 3"}},
      {"two binaries in one file",
       {{"=ybegin size=3 name=a", "x", yend, "text", "=ybegin size=3 name=b", "x", yend}},
       {"'' a y of 1: 1", "'' b y of 1: 1"}},
      {"same name twice is a duplicate part",
       {{"=ybegin size=3 name=d", "x", yend}, {"=ybegin size=3 name=d", "x", yend}},
       {"'' d y of 1: 1 1"}},
      {"part= inside the name", {{"=ybegin line=128 size=3 name=part=2 total=5.bin", "x", yend}},
       {"'' part=2 total=5.bin y of 1: 1"}},
      {"uuencoded file", {{"begin 644 f.txt", "#86)C", "`", "end"}}, {"'' f.txt u of 1: 1h"}},
      {"two uuencoded files of one name stay apart",
       {{"begin 644 f", "#86)C", "`", "end", "begin 600 f", "#86)C", "`", "end"}},
       {"'' f u of 1: 1h", "'' f u of 1: 1h"}},
      {"only a real begin line opens a segment",
       {{"begin x", "begin", "begin 648 z", "begin 644 ", "begin  644 z", "begin 64444 z",
         "begin again next week", "begin 64 y", "#86)C", "`", "end"}},
       {"'' y u of 1: 1h"}},
      {"a folded subject is read unfolded",
       {{"Subject: long title - f.bin", "\t(1/2)", "", "begin 644 f.bin"},
        {"Subject: long title - f.bin", "   (2/2)", "", "M"}, {"Subject: t - g", " (1/1)"}},
       {"' long title - f.bin ' f.bin u of 2: 1 2", "' t - g ' Untitled.Txt u of 1: 1"}},
      {"only lines right after Subject continue it, and not blank ones",
       {{"Subject: t (1/2)", "", " (2/2)", "begin 644 g"}, {"Subject: u", " ", "\t"}},
       {"' t ' g u of 2: 1", "' u' Untitled.Txt u of 1: 1"}},
      {"a Subject line ends the rule",
       {{"begin 644 a", "#86)C", "`", "end", "Subject: s (1/1)", "", "begin 644 b", "=ybegin size=1 name=c"}},
       {"'' a u of 1: 1h", "' s ' c y of 1: 1"}},
  };
  for (const auto& c : cases) {
    Catalogue cat;
    for (std::size_t i = 0; i < c.files.size(); ++i) {
      const std::string path = dir.file("f" + std::to_string(i));
      write_file(path, lines(c.files[i]));
      uuScanFile(cat, path);
    }
    EXPECT_EQ(summary(cat), c.records) << c.name;
  }
}

TEST_F(Scanner, HeaderlessUuSegmentStartsAtItsBeginLine) {
  const std::string text = lines({"HELLO", "begin 644 a", "#86)C", "`", "end", "begin 644 b", "end"});
  Catalogue cat = scan(text);
  ASSERT_EQ(cat.size(), 2u);
  const SegmentRecord& a = cat.records()[0].segments[0];
  const SegmentRecord& b = cat.records()[1].segments[0];
  EXPECT_EQ(a.start_offset, text.find("begin 644 a"));
  EXPECT_EQ(a.end_offset, b.start_offset + 12) << "up to the line after the next header";
  EXPECT_EQ(b.start_offset, text.find("begin 644 b"));
  EXPECT_EQ(b.end_offset, text.size());
}

TEST_F(Scanner, DuplicateSegmentLeavesTheRecordAlone) {
  Catalogue cat = scan(lines({
      "Subject: same", "", "=ybegin line=128 size=3 name=first.bin", "x", "=yend size=3 crc32=11",
      "Subject: same", "", "=ybegin line=64 size=9 name=second.bin", "=ypart begin=1 end=9",
      "x", "=yend size=3 pcrc32=22 crc32=33", "begin 644 third.bin"}));
  ASSERT_EQ(cat.size(), 1u);
  const OutputFileRecord& r = cat.records()[0];
  ASSERT_EQ(r.segments.size(), 2u);
  EXPECT_EQ(r.dest_name, "first.bin");
  EXPECT_EQ(r.kind, kKindYEnc);
  EXPECT_EQ(r.yenc_size, 3);
  EXPECT_EQ(r.yenc_line, 128);
  EXPECT_EQ(r.file_crc, 0x11u);
  // The duplicate keeps its own values.
  EXPECT_EQ(r.segments[1].part_crc, 0x22u);
  EXPECT_EQ(r.segments[1].yenc_end, 9);
  EXPECT_TRUE(uuIsDuplicateSegment(r, r.segments[1]));
  EXPECT_FALSE(uuIsDuplicateSegment(r, r.segments[0]));
}

TEST_F(Scanner, PrefixesMustMatchExactlyInFirstColumn) {
  Catalogue cat = scan(lines({"subject: a (1/2)", "Subject:a (1/2)", "Subject:\ta (1/2)",
                              " Subject: a (1/2)", " begin 644 f", "Begin 644 f", " =ybegin name=f"}));
  EXPECT_TRUE(cat.empty());
}

TEST_F(Scanner, SecondYbeginInSegmentReplacesValues) {
  Catalogue cat = scan(lines({"Subject: s (1/1)", "=ybegin part=1 line=1 size=5 name=a",
                              "=ypart begin=1 end=5", "=ybegin part=2 line=1 size=9 name=b",
                              "=ypart begin=6 end=9", "=yend size=4 part=2 pcrc32=12 crc32=34"}));
  ASSERT_EQ(cat.size(), 1u);
  const OutputFileRecord& r = cat.records()[0];
  ASSERT_EQ(r.segments.size(), 1u);
  EXPECT_EQ(r.dest_name, "b");
  EXPECT_EQ(r.yenc_size, 9);
  EXPECT_EQ(r.segments[0].yenc_part, 2);
  EXPECT_EQ(r.segments[0].yenc_begin, 6);
  EXPECT_EQ(r.segments[0].part_crc, 0x12u);
  EXPECT_EQ(r.file_crc, 0x34u);
}

TEST_F(Scanner, HeaderLinesDecideKindAndName) {
  struct Case {
    std::vector<std::string> text;
    std::int32_t kind;
    const char* name;
  };
  const Case cases[] = {
      {{"Subject: s", "begin 644 u", "=ybegin line=1 size=1 name=y"}, kKindYEnc, "y"},
      // A begin line inside yEnc data, as in a signature, changes nothing.
      {{"Subject: s", "=ybegin line=1 size=1 name=y", "begin 644 u"}, kKindYEnc, "y"},
      {{"Subject: s", "=ybegin line=1 size=1 name=y", "=yend size=1", "-- ", "begin again next week"},
       kKindYEnc, "y"},
      {{"Subject: s", "begin 644 u", "begin later"}, kKindUU, "u"},
  };
  for (const auto& c : cases) {
    Catalogue cat;
    const std::string path = dir.file("kind");
    write_file(path, lines(c.text));
    uuScanFile(cat, path);
    EXPECT_EQ(cat.records()[0].kind, c.kind) << c.text.back();
    EXPECT_EQ(cat.records()[0].dest_name, c.name) << c.text.back();
  }
}

TEST_F(Scanner, YencTrailerWithoutHeaderIsDataFromTheStart) {
  Catalogue cat = scan(lines({"data", "=ypart begin=1 end=2", "=yend pcrc32=1", "begin x"}));
  ASSERT_EQ(cat.size(), 1u);
  EXPECT_EQ(cat.records()[0].kind, kKindYEnc);
  EXPECT_EQ(cat.records()[0].segments[0].start_offset, 0u);
  EXPECT_EQ(cat.records()[0].segments[0].part_crc, 1u);
}

TEST_F(Scanner, LineBreakKindsGiveTheSameCatalogue) {
  const std::vector<std::string> text = {
      "Path: news", "Subject: pics [1/2] - \"a.jpg\" (1/2)", "", "", "=ybegin part=1 line=128 size=6 name=a.jpg",
      "=ypart begin=1 end=3", "abc", "=yend size=3 part=1 pcrc32=abcdef01", "",
      "Subject: pics [1/2] - \"a.jpg\" (2/2)", "", "=ybegin part=2 line=128 size=6 name=a.jpg",
      "=ypart begin=4 end=6", "def", "=yend size=3 part=2 pcrc32=01 crc32=02",
      "Subject: other (1/1)", "begin 644 other.txt", "#86)C", "`", "end"};
  std::vector<Catalogue> cats;
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    Catalogue cat;
    const std::string path = dir.file("kinds");
    write_file(path, lines(text, eol));
    uuScanFile(cat, path);
    cats.push_back(std::move(cat));
  }
  for (const Catalogue& cat : cats) {
    ASSERT_EQ(cat.size(), 2u);
    const auto& a = cat.records()[0];
    EXPECT_EQ(a.subject, " pics [1/2] - \"a.jpg\" ");
    EXPECT_EQ(a.kind, kKindYEnc);
    EXPECT_EQ(a.dest_name, "a.jpg");
    EXPECT_EQ(a.file_crc, 2u);
    ASSERT_EQ(a.segments.size(), 2u);
    EXPECT_EQ(a.segments[0].part_crc, 0xABCDEF01u);
    EXPECT_EQ(a.segments[1].yenc_begin, 4);
    EXPECT_EQ(cat.records()[1].dest_name, "other.txt");
    EXPECT_EQ(cat.records()[1].kind, kKindUU);
  }
}

}  // namespace
}  // namespace vantorelle
