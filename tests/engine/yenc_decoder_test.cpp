// yenc_decoder_test.cpp - the yEnc decoder, its escapes and both CRC-32 registers.
#include <gtest/gtest.h>

#include "article_writer.hpp"
#include "crc32.hpp"
#include "decoder_harness.hpp"

namespace vantorelle {
namespace {

struct YencRun {
  int result;
  std::string output;
  std::uint32_t file_register;
};

YencRun decode(const std::string& text, std::uint32_t expected = kNoCrc,
               std::optional<std::uint64_t> end = std::nullopt) {
  std::uint32_t reg = 0xFFFFFFFFu;
  const auto outcome = test::run_decoder(text, [&](InputFile& in, OutputFile& out, auto s, auto e) {
    return DecodeyEnc(in, out, s, e, expected, &reg);
  }, end);
  EXPECT_TRUE(outcome.messages.empty()) << "the yEnc decoder reports nothing itself";
  return {outcome.result, outcome.output, reg};
}

std::string yenc(std::string_view data) {
  return test::lines(test::yenc_lines(data));
}

const std::string kData = [] {
  std::string d;
  for (int i = 0; i < 3000; ++i) d += static_cast<char>((i * 131 + i / 7) & 0xFF);
  return d;
}();

TEST(YencDecode, SinglePartWithoutPartKey) {
  const std::string text = "Subject: a\n\n=ybegin line=128 size=3000 name=a\n" + yenc(kData) + "=yend size=3000\n";
  const auto run = decode(text);
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, kData);
  EXPECT_EQ(~run.file_register, test::crc32_of(kData));
}

TEST(YencDecode, LinesBeforeYpartAreSkipped) {
  const std::string text = "=ybegin part=1 line=128 size=3 name=a\nskipped\n=ypart begin=1 end=3\n" +
                           yenc("abc") + "=yend size=3\n";
  EXPECT_EQ(decode(text).output, "abc");
}

TEST(YencDecode, PartKeyCountsOnlyBeforeTheName) {
  struct Case {
    const char* header;
    const char* output;
  };
  const Case cases[] = {
      {"=ybegin line=128 size=3 name=part=1.bin\n", "abc"},
      {"=ybegin line=128 size=3 name=a part=1\n", "abc"},
      {"=ybegin part=1 line=128 size=3 name=b.bin\nskipped\n=ypart begin=1 end=3\n", "abc"},
      {"=ybegin part=1 line=128 size=3 name=part=1.bin\nskipped\n=ypart begin=1 end=3\n", "abc"},
      {"=ybegin part=1 line=128 size=3 name=b.bin\n", "abc"},  // no =ypart line: a part without a range
      {"=ybegin PART=1 LINE=128 SIZE=3 NAME=b.bin\nskipped\n=ypart begin=1 end=3\n", "abc"},
      {"=ybegin part=1 line=128 size=3 name=b.bin\n=yend size=0\n=ypart begin=1 end=3\n", ""},
  };
  for (const auto& c : cases) {
    const auto run = decode(c.header + yenc("abc") + "=yend size=3\n");
    EXPECT_EQ(run.result, kDecodeOk) << c.header;
    EXPECT_EQ(run.output, c.output) << c.header;
  }
}

TEST(YencDecode, PartCrcDecidesResultButBytesStay) {
  const std::string text = "=ybegin line=128 size=3000 name=a\n" + yenc(kData) + "=yend size=3000\n";
  EXPECT_EQ(decode(text, test::crc32_of(kData)).result, kDecodeOk);
  const auto bad = decode(text, test::crc32_of(kData) ^ 1u);
  EXPECT_EQ(bad.result, kDecodeCrcMismatch);
  EXPECT_EQ(bad.output, kData);
}

TEST(YencDecode, AllOnesMeansNoPartCrcEvenForDataWithThatCrc) {
  // Four bytes whose CRC-32 is 0xFFFFFFFF.
  const std::string data("\xff\xff\xff\xff", 4);
  ASSERT_EQ(test::crc32_of(data), 0xFFFFFFFFu);
  const std::string text = "=ybegin line=128 size=4 name=a\n" + yenc(data) + "=yend size=4\n";
  EXPECT_EQ(decode(text, kNoCrc).result, kDecodeOk);
}

TEST(YencDecode, MissingYendSkipsCrcTestAndAFinalYendWithoutBreakIsTheEnd) {
  const std::string body = "=ybegin line=128 size=3 name=a\n" + yenc("abc");
  const auto missing = decode(body, 0x12345678u);
  EXPECT_EQ(missing.result, kDecodeOk);
  EXPECT_EQ(missing.output, "abc");
  const auto unterminated = decode(body + "=yend size=3 pcrc32=12345678", 0x12345678u);
  EXPECT_EQ(unterminated.result, kDecodeCrcMismatch);
  EXPECT_EQ(decode(body + "=yend size=3", test::crc32_of("abc")).result, kDecodeOk);
}

TEST(YencDecode, NothingPastTheSegmentsEndIsDecoded) {
  const std::string head = "junk\n=ybegin line=128 size=3000 name=a\n";
  const std::vector<std::string> lines = test::yenc_lines(kData);
  const std::string text = head + test::lines(lines) + "=yend size=3000\n";
  EXPECT_EQ(decode(text, kNoCrc, 5).output, "") << "=ybegin ends beyond the end position";
  EXPECT_EQ(decode("junk\nmore\n" + text, kNoCrc, 5).output, "") << "only the first line beyond counts";
  // A part without its =yend line stops where its segment does.
  const std::size_t two_lines = head.size() + lines[0].size() + lines[1].size() + 2;
  const auto cut = decode(text, test::crc32_of(kData), two_lines);
  EXPECT_EQ(cut.result, kDecodeOk) << "cut short: no CRC test";
  EXPECT_EQ(cut.output, decode(head + test::lines({lines[0], lines[1]})).output);
  EXPECT_LT(cut.output.size(), kData.size());
}

TEST(YencDecode, YendSizeIsHandedBack) {
  const std::pair<std::string, std::int64_t> cases[] = {
      {"=yend size=2999 pcrc32=1", 2999}, {"=yend SIZE=3", 3}, {"=yend pcrc32=1", -1}, {"", -1}};
  for (const auto& [yend, size] : cases) {
    std::int64_t got = 0;
    std::uint32_t reg = 0xFFFFFFFFu;
    test::run_decoder("=ybegin name=a\n" + yenc("abc") + yend + "\n",
                      [&](InputFile& in, OutputFile& out, auto s, auto e) {
                        return DecodeyEnc(in, out, s, e, kNoCrc, &reg, &got);
                      });
    EXPECT_EQ(got, size) << yend;
  }
}

TEST(YencDecode, YendNeedsItsBlank) {
  const std::string text = "=ybegin line=128 size=3 name=a\n" + yenc("abc") + "=yend\n" + yenc("d") + "=yend size=4\n";
  const auto run = decode(text);
  EXPECT_EQ(run.output.substr(0, 3), "abc");
  EXPECT_EQ(run.output.size(), 3u + 4u + 1u) << "\"=yend\" is decoded as data";
}

// Data lines longer than the line reader keeps, with escapes placed across
// the 1,024th character and the input buffer's edges.
std::string long_line_data(std::size_t length) {
  std::string d;
  for (std::size_t i = 0; i < length; ++i) d += static_cast<char>((i * 29 + i / 3) & 0xFF);
  return d;
}

TEST(YencDecode, LongLinesAreDecodedWhole) {
  for (std::size_t length : {1023u, 1024u, 1025u, 2000u, 100'000u, 600'000u}) {
    const std::string data = long_line_data(length);
    const std::vector<std::string> lines = test::yenc_lines(data, 2 * length + 10);
    ASSERT_EQ(lines.size(), 1u);
    const std::string text = "=ybegin line=" + std::to_string(length) + " size=" +
                             std::to_string(length) + " name=a\r\n" + lines[0] + "\r\n=yend size=" +
                             std::to_string(length) + "\r\n";
    const auto run = decode(text, test::crc32_of(data));
    EXPECT_EQ(run.result, kDecodeOk) << length;
    EXPECT_EQ(run.output, data) << length;
    EXPECT_EQ(~run.file_register, test::crc32_of(data)) << length;
  }
}

TEST(YencDecode, LongLineEdges) {
  const std::string filler(1023, '+');  // 1,023 bytes of 0x01
  struct Case {
    const char* name;
    std::string line;
    std::string output;
  };
  const Case cases[] = {
      {"escape is the 1,024th character", filler + "=J" + "+", std::string(1023, '\x01') + "\xe0\x01"},
      {"escape ends the long line", filler + "++=", std::string(1025, '\x01')},
      {"NUL in the tail ends the text", filler + "++" + std::string(1, '\0') + "+++", std::string(1025, '\x01')},
      {"NUL in the head ends the text", "+" + std::string(1, '\0') + filler, "\x01"},
  };
  for (const auto& c : cases) {
    const auto run = decode("=ybegin name=a\n" + c.line + "\n+\n=yend size=1\n");
    EXPECT_EQ(run.output, c.output + "\x01") << c.name;
  }
}

TEST(YencDecode, LongLineEndingTheInputKeepsItsBytes) {
  // A last line without its break is a line like any other, short or long.
  EXPECT_EQ(decode("=ybegin name=a\n+++").output, "\x01\x01\x01");
  EXPECT_EQ(decode("=ybegin name=a\n" + std::string(3000, '+')).output, std::string(3000, '\x01'));
  // A long "=yend " line is the end line, and its tail is not data.
  const auto run = decode("=ybegin name=a\n+\n=yend size=1 " + std::string(2000, 'x') + "\n+\n",
                          test::crc32_of("\x01"));
  EXPECT_EQ(run.output, "\x01");
  EXPECT_EQ(run.result, kDecodeOk);
}

TEST(YencDecode, EscapeRuleExamples) {
  const std::string text = "=ybegin line=128 size=3 name=a\n*=@=J=}\nab=\n=yend size=3\n";
  // An escape at the end of a line gives no byte.
  EXPECT_EQ(decode(text).output, std::string("\x00\xd6\xe0\x13\x37\x38", 6));
}

TEST(YencDecode, LineBreakKindsDecodeAlike) {
  const std::vector<std::string> lines = [] {
    std::vector<std::string> l = {"Subject: x", "", "=ybegin line=128 size=3000 name=a"};
    for (auto& d : test::yenc_lines(kData)) l.push_back(d);
    l.push_back("=yend size=3000 pcrc32=" + test::hex8(test::crc32_of(kData)));
    return l;
  }();
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    const auto run = decode(test::lines(lines, eol), test::crc32_of(kData));
    EXPECT_EQ(run.result, kDecodeOk) << "eol " << static_cast<int>(eol[0]);
    EXPECT_EQ(run.output, kData);
  }
}

TEST(Crc32, StoredTableIsTheReflectedTable) {
  EXPECT_EQ(crc_tab[1], 0x77073096u);
  EXPECT_EQ(crc_tab[128], 0xEDB88320u);
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    ASSERT_EQ(crc_tab[i], c) << i;
  }
}

TEST(Crc32, BlockEqualsByteSteps) {
  std::uint32_t a = 0xFFFFFFFFu;
  std::uint32_t b = 0xFFFFFFFFu;
  for (unsigned char c : kData) crcadd(&a, c);
  crcadd_block(&b, reinterpret_cast<const unsigned char*>(kData.data()), kData.size());
  EXPECT_EQ(a, b);
  EXPECT_EQ(~a, test::crc32_of(kData));
  std::uint32_t check = 0xFFFFFFFFu;
  crcadd_block(&check, reinterpret_cast<const unsigned char*>("123456789"), 9);
  EXPECT_EQ(~check, 0xCBF43926u);
}

}  // namespace
}  // namespace vantorelle
