// catalogue_test.cpp - records and segments, header parsers, hexadecimal and trimmed values.
#include <gtest/gtest.h>

#include "header_values.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

TEST(AddSegment, KeepsFoundOrderAndPartRange) {
  Catalogue cat;
  for (int part : {3, 1, 2}) uulist_add_sement(cat, "/in/f", " a ", part, 3, 0);
  ASSERT_EQ(cat.size(), 1u);
  OutputFileRecord& r = cat.records().front();
  ASSERT_EQ(r.segments.size(), 3u);
  EXPECT_EQ(r.segments[0].part, 3);
  EXPECT_EQ(r.segments[1].part, 1);
  EXPECT_EQ(r.segments[2].part, 2);
  EXPECT_EQ(r.part_min, 1);
  EXPECT_EQ(r.part_max, 3);
  for (int part : {1, 2, 3}) EXPECT_EQ(uuScanGetSegment(&r, part)->part, part);
}

TEST(AddSegment, MissingFirstPartsStillStartAtOne) {
  Catalogue cat;
  auto added = uulist_add_sement(cat, "/in/f", " a ", 2, 3, 0);
  uulist_add_sement(cat, "/in/f", " a ", 3, 3, 0);
  EXPECT_EQ(added.record->part_min, 1);
  EXPECT_EQ(added.record->part_max, 3);
  EXPECT_EQ(uuScanGetSegment(added.record, 1), nullptr);
  uulist_add_sement(cat, "/in/f", " a ", -2, 3, 0);
  EXPECT_EQ(added.record->part_min, -2);
}

TEST(AddSegment, DuplicatePartFindsFirstAdded) {
  Catalogue cat;
  uulist_add_sement(cat, "/in/first", " a ", 1, 2, 10);
  uulist_add_sement(cat, "/in/second", " a ", 1, 5, 20);
  OutputFileRecord& r = cat.records().front();
  EXPECT_EQ(r.segments.size(), 2u);
  EXPECT_EQ(uuScanGetSegment(&r, 1)->source_path, "/in/first");
  EXPECT_EQ(r.part_total, 2) << "a later total never replaces the first";
}

TEST(AddSegment, KeysCompareByteForByte) {
  Catalogue cat;
  uulist_add_sement(cat, "/f", " Holiday.zip ", 1, 2, 0);
  uulist_add_sement(cat, "/f", " Holiday.zip", 1, 1, 0);
  uulist_add_sement(cat, "/f", " holiday.zip ", 1, 2, 0);
  uulist_add_sement(cat, "/f", " Holiday.zip ", 2, 2, 0);
  ASSERT_EQ(cat.size(), 3u);
  EXPECT_EQ(cat.records()[0].segments.size(), 2u);
  EXPECT_EQ(cat.records()[1].subject, " Holiday.zip");
}

TEST(AddSegment, NewRecordStartsWithDefaults) {
  Catalogue cat;
  auto added = uulist_add_sement(cat, "/f", "", 1, 1, 7);
  EXPECT_EQ(added.record->kind, kKindUU);
  EXPECT_EQ(added.record->dest_name, "Untitled.Txt");
  EXPECT_EQ(added.record->subject_text(), "");
  EXPECT_EQ(added.segment->part_crc, kNoCrc);
  EXPECT_EQ(added.segment->start_offset, 7u);
  EXPECT_EQ(added.segment->end_offset, 0u);
}

TEST(MissingRecord, ParsersChangeNothingAndReturnZero) {
  Catalogue cat;
  auto added = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
  EXPECT_EQ(uulist_set_uu_destname(nullptr, "begin 644 x"), 0);
  EXPECT_EQ(uulist_note_uu_begin(nullptr, added.segment, "begin 644 x"), 0);
  EXPECT_EQ(uulist_set_yenc_destname(added.record, nullptr, "=ybegin name=x"), 0);
  EXPECT_EQ(uulist_set_yenc_part(added.record, nullptr, "=ypart begin=1"), 0);
  EXPECT_EQ(uulist_set_yenc_end(added.record, nullptr, "=yend pcrc32=1"), 0);
  EXPECT_EQ(uuScanGetSegment(nullptr, 1), nullptr);
  EXPECT_EQ(added.record->kind, kKindUU);
  EXPECT_EQ(added.record->dest_name, "Untitled.Txt");
}

struct BeginCase {
  const char* line;
  const char* name;
};

TEST(UuHeader, NameIsEverythingAfterTheMode) {
  const BeginCase cases[] = {
      {"begin 644 my file.bin ", "my file.bin "},
      {"begin 644", ""},
      {"begin 644 ", ""},
      {"begin   0755   spaced.txt", "spaced.txt"},
      {"begin 644\tx", ""},  // only the blank separates fields
      {"begin abc def", "def"},
  };
  for (const auto& c : cases) {
    Catalogue cat;
    auto added = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
    added.record->kind = kKindYEnc;
    EXPECT_EQ(uulist_set_uu_destname(added.record, c.line), 1);
    EXPECT_EQ(added.record->dest_name, c.name) << c.line;
    EXPECT_EQ(added.record->kind, kKindUU);
  }
}

TEST(UuHeader, OverlongNameIsCutTo255) {
  Catalogue cat;
  auto added = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
  uulist_set_uu_destname(added.record, "begin 644 " + std::string(900, 'n'));
  EXPECT_EQ(added.record->dest_name, std::string(255, 'n'));
  uulist_set_yenc_destname(added.record, added.segment, "=ybegin name=" + std::string(900, 'y'));
  EXPECT_EQ(added.record->dest_name, std::string(255, 'y'));
}

TEST(YencHeader, BeginLineFillsRecordAndSegment) {
  Catalogue cat;
  auto a = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
  uulist_set_yenc_destname(a.record, a.segment,
                           "=ybegin part=3 total=9 line=128 size=4000 name=  a b.bin  ");
  EXPECT_EQ(a.record->dest_name, "a b.bin");
  EXPECT_EQ(a.segment->yenc_part, 3);
  EXPECT_EQ(a.record->yenc_total, 9);
  EXPECT_EQ(a.record->yenc_line, 128);
  EXPECT_EQ(a.record->yenc_size, 4000);
  EXPECT_EQ(a.record->kind, kKindYEnc);
  EXPECT_EQ(a.record->running_crc, 0xFFFFFFFFu);
}

TEST(YencHeader, KeysInsideTheNameAreName) {
  struct Case {
    const char* line;
    const char* name;
    std::int64_t size;
    std::int32_t part, total, line_length;
  };
  const Case cases[] = {
      {"=ybegin line=128 size=3 name=a size=9 part=4 total=7 line=1", "a size=9 part=4 total=7 line=1", 3, 1, 1, 128},
      {"=ybegin name=part=2.bin", "part=2.bin", 0, 1, 1, 0},
      {"=ybegin part=2 total=3 line=64 size=5000000000 name=big", "big", 5000000000, 2, 3, 64},
      // No " name=" field (the name is found inside "filename="): every key counts.
      {"=ybegin size=3 total=2 part=1 filename=x", "x", 3, 1, 2, 0},
  };
  for (const auto& c : cases) {
    Catalogue cat;
    auto a = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
    uulist_set_yenc_destname(a.record, a.segment, c.line);
    EXPECT_EQ(a.record->dest_name, c.name) << c.line;
    EXPECT_EQ(a.record->yenc_size, c.size) << c.line;
    EXPECT_EQ(a.segment->yenc_part, c.part) << c.line;
    EXPECT_EQ(a.record->yenc_total, c.total) << c.line;
    EXPECT_EQ(a.record->yenc_line, c.line_length) << c.line;
  }
}

TEST(YencHeader, PartRangeIsKnownOnlyWithBothEnds) {
  const std::pair<const char*, bool> cases[] = {
      {"=ypart begin=1 end=100", true}, {"=ypart begin=1", false}, {"=ypart end=100", false}, {"=ypart ", false}};
  for (const auto& [line, known] : cases) {
    Catalogue cat;
    auto a = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
    uulist_set_yenc_part(a.record, a.segment, line);
    EXPECT_EQ(a.segment->yenc_range, known) << line;
  }
}

TEST(YencHeader, AbsentKeysGiveDefaults) {
  Catalogue cat;
  auto a = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
  uulist_set_yenc_destname(a.record, a.segment, "=ybegin line=128 size=4000 name=x");
  EXPECT_EQ(a.record->yenc_total, 1);
  EXPECT_EQ(a.segment->yenc_part, 1);
  uulist_set_yenc_destname(a.record, a.segment, "=ybegin line=1 name=   ");
  EXPECT_EQ(a.record->dest_name, "");
}

TEST(YencHeader, PartAndEndLines) {
  Catalogue cat;
  auto a = uulist_add_sement(cat, "/f", " a", 1, 1, 0);
  uulist_set_yenc_part(a.record, a.segment, "=ypart begin=1 end=384000 crc32=abcd");
  EXPECT_EQ(a.segment->yenc_begin, 1);
  EXPECT_EQ(a.segment->yenc_end, 384000);
  EXPECT_EQ(a.record->file_crc, 0xABCDu);
  uulist_set_yenc_end(a.record, a.segment, "=yend size=4000 part=3 pcrc32=0A1b2C3d crc32=FFFF0000");
  EXPECT_EQ(a.segment->part_crc, 0x0A1B2C3Du);
  EXPECT_EQ(a.record->file_crc, 0xFFFF0000u);
  uulist_set_yenc_end(a.record, a.segment, "=yend size=4000 pcrc32=1234");
  EXPECT_EQ(a.segment->part_crc, 0x1234u);
  EXPECT_EQ(a.record->file_crc, 0xFFFF0000u) << "pcrc32= is not crc32=";
}

TEST(HexValue, ReadsLikeTheHeaderFieldsNeed) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"1A2b3C4d5", 0xA2B3C4D5u}, {"0x1F", 0x1F}, {"0Xdeadbeef", 0xDEADBEEFu}, {"0xg", 0},      {" 1F", 0},          {"ff zz", 0xFF},
      {"", 0},                    {"DEADBEEF", 0xDEADBEEFu}, {"-1", 0}, {"00000000ff", 0xFF},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(hextoulong(text), value) << text;
}

TEST(DecimalValue, ReadsLikeAtol) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"4000", 4000}, {"  12x", 12}, {"-3", -3}, {"+7", 7}, {"x1", 0}, {"", 0}, {"- 1", 0},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(decimal_value(text), value) << text;
}

TEST(Trim, RemovesWhiteSpaceAtBothEnds) {
  const std::pair<std::string, std::string> cases[] = {
      {"  a b \t", "a b"}, {"   ", ""}, {"", ""}, {"\r\n\v\fx\f", "x"}, {"\xA0x\xA0", "\xA0x\xA0"},
  };
  for (auto [text, expected] : cases) {
    strtrim(text);
    EXPECT_EQ(text, expected);
  }
}

}  // namespace
}  // namespace vantorelle
