// uu_decoder_test.cpp - the uuencode decoder: held short lines, end-of-data messages, positions.
#include <gtest/gtest.h>

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
};

class UuDecode : public testing::TestWithParam<UuCase> {};

TEST_P(UuDecode, WritesBytesAndReportsAsExpected) {
  const UuCase& c = GetParam();
  std::string text = test::lines(c.lines, c.eol);
  if (!c.final_break) text.resize(text.size() - std::string_view(c.eol).size());
  const auto outcome = test::run_decoder(text, [&](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, c.part, c.total);
  });
  EXPECT_EQ(outcome.result, c.result);
  EXPECT_EQ(outcome.output, c.output);
  EXPECT_EQ(outcome.messages, c.messages);
}

const char* kGarbage = "Warning: garbage at end.";
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
               kFullBytes + "xyz12", 0, {{0, "Ambiguous data at end."}}},
        UuCase{"ShortThenTextLine", article({kFull1, kFull2, kShort, "Just some text", "`"}), kData, 0,
               {{2, kGarbage}}},
        UuCase{"ShortThenMoreFullLines", article({kFull1, kShort, kFull2, "`"}),
               kFullBytes, 0, {{2, kNoShort}}},
        UuCase{"TruncatedFullLineReportedForAnyPart",
               article({kFull1, kFull1.substr(0, 60), kFull2, kShort, "", ""}), kData, 0,
               {{2, "Warning: truncated data line."}}, 1, 2},
        UuCase{"UncleanFullLineIsDataInBody",
               article({kFull1, "M" + std::string(60, 'a'), kShort, "`"}),
               kData.substr(0, 45) + repeat("\x04\x10\x41", 15) + kShortBytes, 0, {}},
        UuCase{"UncleanFullLineDoesNotStartData",
               article({"M" + std::string(60, 'a'), kFull1, kShort, "`"}),
               kData.substr(0, 45) + kShortBytes, 0, {}},
        UuCase{"OverlongFullLinesNeverStartData", article({kFull1 + "x", kFull2 + "x", "`", "end"}), "", 3, {}},
        // A short first line, a terminator of 1 to 3 bytes and an end line: the whole body.
        UuCase{"OneShortLineBodyAtEndOfFile", article({kShort, "`", "end"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineTwoByteTerminator", article({kShort, "``", "end"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineThreeByteBlanks", article({kShort, "   ", "end", "x"}), kShortBytes, 0, {}},
        UuCase{"OneShortLineBodyCrLf", article({kShort, "`", "end"}), kShortBytes, 0, {}, 1, 1, "\r\n"},
        UuCase{"LastPartHoldingTheShortLineAndTrailer",
               {"Subject: t (2/2)", "", kShort, "`", "end", ""}, kShortBytes, 0, {}, 2, 2},

        UuCase{"OneByteTerminatorWithoutEndIsGarbage", article({kShort, "`", "text"}), kShortBytes, 3,
               {{2, kGarbage}}},
        UuCase{"FourByteTerminatorIsGarbage", article({kShort, "````", "end"}), kShortBytes, 3,
               {{2, kGarbage}}},
        UuCase{"TwoByteTerminatorWithoutEndSearchesOn", article({kShort, "``", kShort, "``", "end"}),
               kShortBytes + kShortBytes, 0, {}},
        UuCase{"NoEmptyLineEndingHeaders", {"Subject: t", "begin 644 t", kFull1, kShort, "`"}, "", 3, {}},
        UuCase{"NotLastPartKeepsQuiet", article({kFull1, kFull2, kShort, kOtherShort, "", "x"}),
               kFullBytes + "xyz12", 0, {}, 1, 2},
        UuCase{"LastLineWithoutBreakIsNotExamined", article({kFull1, kFull2, kShort, "`"}), kFullBytes, 3,
               {}, 1, 1, "\n", false},
        UuCase{"LongLineAfterShortFirstLineIsReadAgainWhole",
               {"Subject: t", "", kShort, std::string(1500, 'Q'), kFull1, kFull2, kShort, "`"},
               kShortBytes + kData, 0, {{2, kGarbage}}},
        UuCase{"StepBackLandsOnLineStartWithCrLf",
               {"Subject: t", "", kShort, kFull1, kFull2, kShort, "`"},
               kShortBytes + kData, 0, {{2, kGarbage}}, 1, 1, "\r\n"}),
    [](const testing::TestParamInfo<UuCase>& info) { return info.param.name; });

TEST(UuDecodeEnd, LineBeyondEndPositionIsNotExamined) {
  const std::string head = test::lines(article({kFull1, kFull2, kShort}));
  const std::string text = head + test::lines({"`", "end"});
  const auto outcome = test::run_decoder(text, [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  }, head.size());
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.output, kFullBytes) << "the held short line is dropped";
  EXPECT_TRUE(outcome.messages.empty());
}

TEST(UuDecodeEnd, SegmentWithoutDataEndsQuietly) {
  const std::string text = test::lines({"Subject: t", "", "just text", "more text", "Subject: next"});
  const auto outcome = test::run_decoder(text, [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  }, text.size() - 5);
  EXPECT_EQ(outcome.result, 0);
  EXPECT_EQ(outcome.output, "");
}

TEST(UuDecodeSearch, CapitalTextBeforeDataIsTakenAsShortLine) {
  const std::string text = test::lines({"Subject: t", "", "HELLO THERE", kFull1, kShort, "`"});
  const auto outcome = test::run_decoder(text, [](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeUU(in, out, s, e, 1, 1);
  });
  EXPECT_EQ(outcome.result, 0);
  ASSERT_EQ(outcome.output.size(), 40u + 45u + 10u) << "'H' counts 40 bytes";
  EXPECT_EQ(outcome.output.substr(40), kData.substr(0, 45) + kShortBytes);
  EXPECT_EQ(outcome.messages, (std::vector<Message>{{2, kGarbage}}));
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
