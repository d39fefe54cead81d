// uu_decoder_test.cpp - the uuencode decoder: held short lines, end-of-data messages, positions.
#include <gtest/gtest.h>

#include <algorithm>

#include "article_writer.hpp"
#include "decoder_harness.hpp"

namespace vantorelle {
namespace {

using test::Message;

// 100 bytes: two full lines and a short line of 10 bytes.
const std::string kData = [] {
  std::string d;
  for (int i = 0; i < 100; ++i) d += static_cast<char>(i * 7 + 3);
  return d;
}();
const std::vector<std::string> kLines = test::uuencode_lines(kData);  // M, M, short, `
const std::string& kFull1 = kLines[0];
const std::string& kFull2 = kLines[1];
const std::string& kShort = kLines[2];
const std::string kFullBytes = kData.substr(0, 90);
const std::string kShortBytes = kData.substr(90);

// A second short line with other bytes.
const std::string kOtherShort = test::uuencode_lines("xyz12")[0];

std::string repeat(std::string_view piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

std::vector<std::string> article(std::vector<std::string> body) {
  std::vector<std::string> text = {"Subject: t (1/1)", "From: a@b", "", "begin 644 t.bin"};
  text.insert(text.end(), body.begin(), body.end());
  return text;
}

// A part after the first: no begin line.
std::vector<std::string> later_part(std::vector<std::string> body) {
  body.insert(body.begin(), {"Subject: t (2/2)", ""});
  return body;
}

struct UuCase {
  const char* name;
  std::vector<std::string> lines;
  std::string output;
  int result;
  std::vector<Message> messages;
  std::int16_t part = 1;
  std::int16_t total = 1;
  const char* eol = "\n";
  bool final_break = true;
  bool headerless = false;
};

class UuDecode : public testing::TestWithParam<UuCase> {};

TEST_P(UuDecode, WritesBytesAndReportsAsExpected) {
  const UuCase& c = GetParam();
  std::string text = test::lines(c.lines, c.eol);
  if (!c.final_break) text.resize(text.size() - std::string_view(c.eol).size());
  const auto outcome = test::run_decoder(text, [&](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, c.part, c.total, c.headerless);
  });
  EXPECT_EQ(outcome.result, c.result);
  EXPECT_EQ(outcome.output, c.output);
  EXPECT_EQ(outcome.messages, c.messages);
}

const char* kGarbage = "Warning: garbage at end.";

Message damaged(int line) { return {1, "Damaged data line " + std::to_string(line) + " in 'in'"}; }

// Data whose first 45 bytes (or both runs of 45) end in zeros, encoded with
// blanks for the value 0 and its trailing blanks stripped, the terminator
// with them.
const std::string kZeroTail = kData.substr(0, 40) + std::string(5, '\0') + kData.substr(45);
const std::string kZeroTails = kZeroTail.substr(0, 85) + std::string(5, '\0') + kData.substr(90);
std::vector<std::string> blank_style(const std::string& data) {
  std::vector<std::string> lines = test::uuencode_lines(data);
  for (auto& line : lines) {
    std::replace(line.begin(), line.end(), '`', ' ');
    line.erase(line.find_last_not_of(' ') + 1);
  }
  lines.push_back("end");
  return lines;
}
const std::vector<std::string> kBlankStyle = blank_style(kZeroTail);
const char* kNoShort = "Warning: no short data line.";

INSTANTIATE_TEST_SUITE_P(
    Cases, UuDecode,
    testing::Values(
        UuCase{"CompleteSinglePart", article({kFull1, kFull2, kShort, "`", "end"}), kData, 0, {}},
        UuCase{"CompleteWithCrLf", article({kFull1, kFull2, kShort, "`", "end"}), kData, 0, {}, 1, 1, "\r\n"},
        UuCase{"CompleteWithCr", article({kFull1, kFull2, kShort, "`", "end"}), kData, 0, {}, 1, 1, "\r"},
        UuCase{"MultipleOf45", article({kFull1, kFull2, "`", "end"}), kFullBytes, 0, {{2, kNoShort}}},
        UuCase{"EndLineLastInFileLf", article({kFull1, kFull2, kShort, "end"}), kData, 0, {}},
        UuCase{"EndLineLastInFileCrLf", article({kFull1, kFull2, kShort, "end"}), kData, 0, {}, 1, 1, "\r\n"},
        UuCase{"EndLineLastInFileCr", article({kFull1, kFull2, kShort, "end"}), kData, 0, {}, 1, 1, "\r"},
        UuCase{"EndThenEmptyLine", article({kFull1, kFull2, kShort, "end", "", "trailer"}), kData, 0, {}},
        UuCase{"TwoShortLinesKeepTheSecond", article({kFull1, kFull2, kShort, kOtherShort, "`"}),
               kFullBytes + "xyz12", 0, {damaged(7), {0, "Ambiguous data at end."}}},
        UuCase{"ShortThenTextLine", article({kFull1, kFull2, kShort, "Just some text", "`"}), kData, 0,
               {{2, kGarbage}}},
        UuCase{"ShortThenMoreFullLines", article({kFull1, kShort, kFull2, "`"}),
               kFullBytes, 0, {damaged(6), {2, kNoShort}}},
        UuCase{"TruncatedFullLineIsDamagedForAnyPart",
               article({kFull1, kFull1.substr(0, 60), kFull2, kShort, "", ""}), kData, 0,
               {damaged(6)}, 1, 2},
        UuCase{"OverlongFullLineIsDamaged", article({kFull1, kFull1 + "!", kFull2, kShort, "`", "end"}),
               kData, 0, {damaged(6)}},
        UuCase{"EmptyLineAmidTheDataIsALostLine", article({kFull1, "", kFull2, kShort, "`", "end"}),
               kData.substr(0, 45) + kData.substr(45), 0, {damaged(6)}},
        UuCase{"ShortLineTooLongForItsCountIsDamaged",
               article({kFull1, kFull2, "#" + std::string(12, '0'), kShort, "`", "end"}), kData, 0,
               {damaged(7)}},
        UuCase{"StrippedBlankTerminatorBeforeEnd", article({kFull1, kFull2, kShort, "", "end"}), kData, 0, {}},
        UuCase{"BlankStyleWithStrippedBlanksIsRestored", article(kBlankStyle), kZeroTail, 0, {}},
        UuCase{"GraveStyleShortLineLackingCharactersIsDamaged",
               article({kFull1, kFull2, kShort.substr(0, 10), "`", "end"}), kFullBytes, 0, {damaged(7)}},
        UuCase{"SeparatorLinesBeforeTheDataOfALaterPart",
               {"Subject: t (2/2)", "", "*****", "ENJOY!", "-----", "=====", "FILE: PIC.JPG", "=====",
                kFull1, kFull2, kShort, "`", "end"}, kData, 0, {}, 2, 2},
        UuCase{"NothingBeforeTheBeginLineIsData",
               {"Subject: t (1/1)", "", "HELLO", "`", "begin 644 t.bin", kFull1, kFull2, kShort, "`", "end"},
               kData, 0, {}},
        UuCase{"EmptyFile", article({"`", "end"}), "", 0, {}},
        UuCase{"TruncatedOneLineBodyIsDamaged", article({kShort.substr(0, 5), "`", "end"}), "", 0, {damaged(5)}},
        UuCase{"SeparatorsBeforeALastPartThatOnlyEnds",
               {"Subject: t (2/2)", "", "=====", "FILE: PIC.JPG", "=====", "`", "end"}, "", 0, {}, 2, 2},
        UuCase{"LastPartCutAtALineEnd", article({kFull1, kFull2, kShort}), kData, 3, {}},
        UuCase{"LastPartCutBeforeItsData", article({}), "", 3, {}},
        // A first part may hold its begin line alone, its break lost with the file's last.
        UuCase{"FirstPartOfOnlyItsBeginLine", {"Subject: t (1/2)", "", "begin 644 t.b"}, "", 0, {}, 1, 2,
               "\n", false},
        UuCase{"SharutilsOutputWithoutFinalBreak", {"begin 644 t.bin", kShort, "`", "end"}, kShortBytes, 0,
               {}, 1, 1, "\n", false, true},
        UuCase{"EndAsTheLastBytesWithoutBreak", article({kFull1, kFull2, kShort, "end"}), kData, 0, {},
               1, 1, "\r\n", false},
        UuCase{"SecondOfTwoPartsOneLineEachCrLf", {"Subject: t (2/2)", "From: a", "", kShort, "`", "end"},
               kShortBytes, 0, {}, 2, 2, "\r\n"},
        UuCase{"UncleanFullLineIsWrittenAndDamaged",
               article({kFull1, "M" + std::string(60, 'a'), kShort, "`"}),
               kData.substr(0, 45) + repeat("\x04\x10\x41", 15) + kShortBytes, 0, {damaged(6)}},
        UuCase{"UncleanFullLineBeforeDataIsDamagedData",
               article({"M" + std::string(60, 'a'), kFull1, kShort, "`"}),
               repeat("\x04\x10\x41", 15) + kData.substr(0, 45) + kShortBytes, 0, {damaged(5)}},
        UuCase{"FullLineWithDamagedCountIsDamagedData",
               article({"C" + kFull1.substr(1), kFull2, kShort, "`", "end"}), kData.substr(45), 0, {damaged(5)}},
        UuCase{"DataCutAndJoinedToTheNextArticle",
               {"Subject: t (1/2)", "", "begin 644 t.bin", kFull1, kFull2.substr(0, 3) + "From: a@b", "Subject: t (2/2)"},
               kData.substr(0, 45), 0, {damaged(5)}, 1, 2},
        UuCase{"DataEndingInAHyphenJoinedToTheNextArticle",
               {"Subject: t (1/2)", "", "begin 644 t.bin", kFull1, "M5M!4S-From: a@b", "Subject: t (2/2)"},
               kData.substr(0, 45), 0, {damaged(5)}, 1, 2},
        UuCase{"ShortLineWithLowerCaseIsDamaged",
               article({kFull1, kFull2, "*" + kShort.substr(1, 3) + "a" + kShort.substr(5), "`", "end"}),
               kFullBytes, 0, {damaged(7)}},
        UuCase{"OverlongFullLinesAreEachDamaged", article({kFull1 + "!", kFull2 + "!", "`", "end"}), "", 0,
               {damaged(5), damaged(6), {2, kNoShort}}},
        UuCase{"BlankStyleStrippedRightAfterBeginAndAfterThat", article(blank_style(kZeroTails)), kZeroTails, 0, {}},
        UuCase{"BlankStyleStrippedTwiceInALaterPart", later_part(blank_style(kZeroTails)), kZeroTails, 0, {}, 2, 2},
        // A short first line, a terminator of 1 to 3 bytes and an end line: the whole body.
        UuCase{"OneShortLineBodyAtEndOfFile", article({kShort, "`", "end"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineTwoByteTerminator", article({kShort, "``", "end"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineThreeByteBlanks", article({kShort, "   ", "end", "x"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineBodyCrLf", article({kShort, "`", "end"}), kShortBytes, 0, {}, 1, 1, "\r\n"},
        UuCase{"LastPartHoldingTheShortLineAndTrailer",
               {"Subject: t (2/2)", "", kShort, "`", "end", ""}, kShortBytes, 0, {}, 2, 2},

        UuCase{"OneByteTerminatorWithoutEndEndsTheData", article({kShort, "`", "text"}), kShortBytes, 0, {}},
        UuCase{"FourByteTerminatorDoesNotCloseAShortLine", article({kShort, "````", "end"}), "", 3, {}},
        UuCase{"TerminatorEndsTheData", article({kShort, "``", kShort, "``", "end"}), kShortBytes, 0, {}},
        UuCase{"NoEmptyLineEndingHeaders", {"Subject: t", "begin 644 t", kFull1, kShort, "`"}, "", 3, {}},
        UuCase{"NotLastPartReportsOnlyTheDroppedLine", article({kFull1, kFull2, kShort, kOtherShort, "", "x"}),
               kFullBytes + "xyz12", 0, {damaged(7)}, 1, 2},
        UuCase{"LastLineWithoutBreakIsExamined", article({kFull1, kFull2, kShort, "`"}), kData, 0,
               {}, 1, 1, "\n", false},
        // In a part before the last, a line the end of the file cut is no stripped line.
        UuCase{"NotLastPartLineCutAtEndOfFile", article({kFull1, kFull2, kShort.substr(0, 9)}),
               kFullBytes, 0, {damaged(7)}, 1, 2, "\n", false},
        UuCase{"UnconfirmedShortLineBeforeALongLineIsNotData",
               {"Subject: t", "", kShort, std::string(1500, 'Q'), kFull1, kFull2, kShort, "`"},
               kData, 0, {}},
        UuCase{"UnconfirmedShortLineBeforeFullLinesIsNotDataCrLf",
               {"Subject: t", "", kShort, kFull1, kFull2, kShort, "`"},
               kData, 0, {}, 1, 1, "\r\n"}),
    [](const testing::TestParamInfo<UuCase>& info) { return info.param.name; });

TEST(UuDecodeEnd, LineBeyondEndPositionIsNotExamined) {
  const std::string head = test::lines(article({kFull1, kFull2, kShort}));
  const std::string text = head + test::lines({"`", "end"});
  const auto outcome = test::run_decoder(text, [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  }, head.size());
  EXPECT_EQ(outcome.result, 3) << "the last part's data is cut off";
  EXPECT_EQ(outcome.output, kData) << "the held short line is the last there is";
  EXPECT_TRUE(outcome.messages.empty());
}

TEST(UuDecodeEnd, SegmentWithoutDataIsCutShortUnlessADescription) {
  const std::string text = test::lines({"Subject: t", "", "just text", "more text", "Subject: next"});
  for (const std::int16_t part : {0, 1, 2}) {
    const auto outcome = test::run_decoder(text, [&](InputFile& in, OutputFile& out, auto s, auto e) {
      return DecodeUU(in, out, s, e, part, 2);
    }, text.size() - 5);
    EXPECT_EQ(outcome.result, part == 0 ? 0 : 3) << "part " << part << " without a uuencode line";
    EXPECT_EQ(outcome.output, "");
  }
}

TEST(UuDecodeSearch, CapitalTextBeforeDataIsNotData) {
  const std::string text = test::lines({"Subject: t", "", "HELLO THERE", kFull1, kShort, "`"});
  const auto outcome = test::run_decoder(text, [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  });
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.output, kData.substr(0, 45) + kShortBytes);
  EXPECT_TRUE(outcome.messages.empty());
}

TEST(UuDecodeDamage, AtMostAHundredLinesListedThenTheCount) {
  std::vector<std::string> body;
  for (int i = 0; i < 150; ++i) body.insert(body.end(), {kFull1, kFull1.substr(0, 50)});
  body.insert(body.end(), {kShort, "`", "end"});
  const auto outcome = test::run_decoder(test::lines(article(body)), [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  });
  ASSERT_EQ(outcome.messages.size(), 101u);
  EXPECT_EQ(outcome.messages[99], damaged(6 + 2 * 99));
  EXPECT_EQ(outcome.messages[100], (Message{1, "Damaged 150 data lines for 'in'"}));
}

// /proc/self/mem is a regular file whose first page cannot be read.
TEST(DecodeReadError, IsReportedAndCutsTheSegmentShort) {
  test::HookRecorder hooks;
  test::TempDir dir;
  auto in = InputFile::open("/proc/self/mem");
  if (!in) GTEST_SKIP() << "no /proc/self/mem";
  auto out = OutputFile::create(dir.file("o"));
  EXPECT_EQ(DecodeUU(*in, *out, 0, 100, 1, 2, true), kDecodeEarlyEof);
  std::uint32_t reg = 0;
  EXPECT_EQ(DecodeyEnc(*in, *out, 0, 100, kNoCrc, &reg), kDecodeOk);
  const Message error{0, "Unable to read source file '/proc/self/mem'"};
  EXPECT_EQ(hooks.messages, (std::vector<Message>{error, error}));
}

TEST(ExplodeLine, MissingCharactersCountAsZero) {
  test::TempDir dir;
  auto out = OutputFile::create(dir.file("o"));
  // One zero byte is "!``"; news software often strips the trailing graves or blanks.
  EXPECT_EQ(ExplodeLine(*out, "!``"), 1);
  EXPECT_EQ(ExplodeLine(*out, "!"), 1);
  EXPECT_EQ(ExplodeLine(*out, "#86)C"), 1);
  out->close();
  EXPECT_EQ(test::read_file(dir.file("o")), std::string("\0\0abc", 5));
}

TEST(ExplodeLine, DecodesWhatTheEncoderWrote) {
  test::TempDir dir;
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  auto out = OutputFile::create(dir.file("o"));
  for (const auto& line : test::uuencode_lines(all)) ExplodeLine(*out, line);
  out->close();
  EXPECT_EQ(test::read_file(dir.file("o")), all);
}

TEST(CandidateTest, ShortLineLengthBoundPerCount) {
  // Count character and the longest short line it allows: its encoded length plus 3.
  const std::pair<char, std::size_t> bounds[] = {
      {'!', 8}, {'#', 8}, {'$', 12}, {'&', 12}, {'\'', 16}, {')', 16},
      {'*', 20}, {'G', 56}, {'H', 60}, {'J', 60}, {'K', 64}, {'L', 64},
  };
  for (const auto& [count, bound] : bounds) {
    EXPECT_EQ(check_line(count + std::string(bound - 1, 'A')), 1) << count;
    EXPECT_EQ(check_line(count + std::string(bound, 'A')), 0) << count;
  }
}

TEST(UuDecodeSearch, HeaderlessSegmentStartsWithTheSearch) {
  const std::string text = test::lines({"begin 644 t.bin", kFull1, kFull2, kShort, "`", "end"});
  for (const bool headerless : {true, false}) {
    const auto outcome = test::run_decoder(text, [&](InputFile& in, OutputFile& out, auto s, auto e) {
      return DecodeUU(in, out, s, e, 1, 1, headerless);
    });
    // Without the flag the data is taken for the header block, which never ends.
    EXPECT_EQ(outcome.result, headerless ? 0 : 3) << headerless;
    EXPECT_EQ(outcome.output, headerless ? kData : "") << headerless;
    EXPECT_TRUE(outcome.messages.empty()) << headerless;
  }
}

TEST(CandidateTest, ShortAndFullLines) {
  const std::pair<std::string, int> cases[] = {
      {kFull1, 1},          {kShort, 1},    {"L", 1},           {"-", 1},
      {"!" + std::string(7, 'A'), 1},       {"!" + std::string(8, 'A'), 0},  // bound 8 for counts 1 to 3
      {"K" + std::string(63, 'A'), 1},      {"K" + std::string(64, 'A'), 0},
      {"Mabc", 0},          {"", 0},        {"`", 0},           {"Jlower", 0},
      {"J\xe9\xe9", 1},     {"J\x7f", 0},   {"M" + std::string(60, 'a'), 0},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(check_line(line), expected) << line;
}

}  // namespace
}  // namespace vantorelle
