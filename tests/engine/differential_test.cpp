// differential_test.cpp - the fast scanner, decoders and kernels against the plain reference versions.
//
// Seeded random and mutated inputs (all three line ends, lines over 1,024
// characters, escapes at line ends, NUL bytes, a last line without its break,
// truncated files), read with many buffer sizes so that lines straddle buffer
// ends. Each case compares output bytes, results, messages, positions and CRC
// registers. Sanitizer builds run fewer rounds; VANTORELLE_DIFF_ROUNDS sets
// the number of decoder rounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <sstream>

#include "article_writer.hpp"
#include "cpu_features.hpp"
#include "crc32.hpp"
#include "crc32_fast.hpp"
#include "decoders.hpp"
#include "line_scan.hpp"
#include "reference.hpp"
#include "test_support.hpp"
#include "uu_kernel.hpp"
#include "yenc_kernel.hpp"

namespace vantorelle {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultRounds = 400;
#else
constexpr int kDefaultRounds = 2000;
#endif

int decoder_rounds() {
  if (const char* env = std::getenv("VANTORELLE_DIFF_ROUNDS")) return std::max(1, std::atoi(env));
  return kDefaultRounds;
}

using Rng = std::mt19937_64;

std::size_t pick(Rng& rng, std::size_t n) { return static_cast<std::size_t>(rng() % n); }
bool chance(Rng& rng, unsigned percent) { return rng() % 100 < percent; }

std::string random_bytes(Rng& rng, std::size_t n) {
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng());
  return s;
}

// A block for the kernels: bytes from an alphabet rich in what they look at,
// with 64 readable bytes of noise after it.
std::string kernel_block(Rng& rng, std::size_t size, std::string_view alphabet) {
  std::string s(size + 64, '\0');
  for (std::size_t i = 0; i < s.size(); ++i) {
    s[i] = i < size && !chance(rng, 30) ? alphabet[pick(rng, alphabet.size())]
                                         : static_cast<char>(rng());
  }
  return s;
}

const char* eol_of(Rng& rng, int style) {
  static const char* const kEols[] = {"\r\n", "\n", "\r"};
  return kEols[style < 3 ? style : static_cast<int>(pick(rng, 3))];
}

// Joins lines with one line-end style (3 mixes them), perhaps leaving the last
// line without a break and perhaps cutting the text short.
std::string assemble(Rng& rng, const std::vector<std::string>& lines) {
  const int style = static_cast<int>(pick(rng, 4));
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || !chance(rng, 15)) text += eol_of(rng, style);
  }
  if (chance(rng, 10) && !text.empty()) text.resize(pick(rng, text.size()));
  return text;
}

// Byte-level damage: breaks, NULs, escapes and letters dropped in at random.
void mutate(Rng& rng, std::string& text) {
  static const char kBits[] = {'\r', '\n', '\0', '=', 'y', 'M', ' ', '`'};
  const std::size_t count = chance(rng, 60) ? 0 : 1 + pick(rng, 4);
  for (std::size_t i = 0; i < count && !text.empty(); ++i) {
    text[pick(rng, text.size())] = kBits[pick(rng, sizeof kBits)];
  }
}

// yEnc data lines with escapes (an escape may end a line, data may start
// with "=y"), lines of every length including over-long ones.
std::vector<std::string> yenc_data_lines(Rng& rng, const std::string& data) {
  std::size_t length = chance(rng, 10) ? 1000 + pick(rng, 100) : 16 + pick(rng, 200);
  if (chance(rng, 5)) length = 1025 + pick(rng, chance(rng, 20) ? 400000 : 5000);  // decoded whole
  std::vector<std::string> lines = test::yenc_lines(data, length);
  for (auto& line : lines) {
    if (chance(rng, 3)) line += '=';                 // escape at the end of the line
    if (chance(rng, 2)) line.insert(0, "=y");        // data that starts like a keyword line
    if (chance(rng, 1)) line = "=yend";              // no blank: data, not the end line
    if (chance(rng, 1)) line += std::string(1, '\0') + "tail";
  }
  return lines;
}

std::string yenc_text(Rng& rng) {
  const std::string data = random_bytes(rng, pick(rng, chance(rng, 3) ? 300000 : 6000));
  const bool multipart = chance(rng, 60);
  std::vector<std::string> lines;
  if (chance(rng, 50)) lines = {"Subject: test (1/1)", "From: x", ""};
  if (chance(rng, 10)) lines.push_back("junk before the header");
  const std::string size = std::to_string(data.size());
  lines.push_back(multipart ? "=ybegin part=1 total=1 line=128 size=" + size + " name=f.bin"
                            : "=ybegin line=128 size=" + size + " name=f.bin");
  const bool capitals = chance(rng, 10);  // keys as some posters write them
  if (chance(rng, 5)) lines.back() += " part=1";  // after the name: part of the name
  if (multipart && !chance(rng, 5)) {
    if (chance(rng, 20)) lines.push_back("skipped before the part line");
    lines.push_back("=ypart begin=1 end=" + size);
  }
  for (auto& l : yenc_data_lines(rng, data)) lines.push_back(std::move(l));
  if (!chance(rng, 8)) {
    std::uint32_t crc = test::crc32_of(data);
    if (chance(rng, 20)) crc ^= 1u;
    std::string end = "=yend size=" + (chance(rng, 5) ? std::to_string(data.size() + 1) : size);
    if (!chance(rng, 10)) end += " pcrc32=" + std::string(chance(rng, 15) ? "0x" : "") + test::hex8(crc);
    lines.push_back(end);
    if (chance(rng, 30)) lines.push_back("trailing text");
  }
  if (capitals) {
    for (auto& line : lines) {
      if (!line.starts_with("=y")) continue;
      for (const char* key : {"part=", "size=", "line=", "total=", "name=", "pcrc32=", "begin=", "end="}) {
        const std::size_t at = line.find(key);
        if (at != std::string::npos) {
          for (std::size_t i = at; line[i] != '='; ++i) line[i] = static_cast<char>(std::toupper(line[i]));
        }
      }
    }
  }
  std::string text = assemble(rng, lines);
  mutate(rng, text);
  return text;
}

std::vector<std::string> uu_body(Rng& rng, const std::string& data) {
  std::vector<std::string> lines = test::uuencode_lines(data);
  std::vector<std::string> out;
  for (auto& line : lines) {
    const unsigned r = static_cast<unsigned>(pick(rng, 1000));
    if (r < 8) continue;                                         // a lost line
    if (r < 14) line.pop_back();                                 // a truncated line
    else if (r < 18 && line.size() > 1) line[1 + pick(rng, line.size() - 1)] = 'a';  // not clean
    else if (r < 20) line += std::string(1, '\0');
    else if (r < 22) out.push_back("");
    else if (r < 24) out.push_back(std::string(1100, 'M'));
    else if (r < 26) out.push_back("+" + std::string(pick(rng, 60), '0'));
    out.push_back(line);
  }
  return out;
}

// Lines an encoder writing blanks for the value 0 would have given, their
// trailing blanks perhaps stripped in transit (the terminator with them).
void blank_style(Rng& rng, std::vector<std::string>& lines, std::size_t from) {
  const bool strip = chance(rng, 70);
  for (std::size_t i = from; i < lines.size(); ++i) {
    std::string& line = lines[i];
    if (line.empty() || line[0] < ' ' || line[0] > 'M') continue;
    std::replace(line.begin() + 1, line.end(), '`', ' ');
    if (line[0] == '`') line[0] = ' ';
    if (strip) line.erase(line.find_last_not_of(' ') + 1);
  }
}

// Separator and title lines as posters put them before the data.
void separators(Rng& rng, std::vector<std::string>& lines) {
  static const char* const kLines[] = {"*****", "ENJOY!", "-----", "=====", "FILE: PIC.JPG", "=====", "MMMMM"};
  const std::size_t n = 1 + pick(rng, 4);
  for (std::size_t i = 0; i < n; ++i) lines.push_back(kLines[pick(rng, std::size(kLines))]);
}

std::string uu_text(Rng& rng) {
  // Now and then a body of one short line, ended by terminators of 1 to 4 bytes.
  const bool one_line = chance(rng, 15);
  const std::string data = random_bytes(rng, one_line ? 1 + pick(rng, 44)
                                                      : pick(rng, chance(rng, 3) ? 300000 : 6000));
  std::vector<std::string> lines;
  if (chance(rng, 70)) lines = {"Subject: test [1/1]", "From: x", ""};
  if (chance(rng, 20)) lines.push_back("some text before the data");
  if (chance(rng, 15)) separators(rng, lines);
  if (!chance(rng, 10)) lines.push_back("begin 644 f.bin");  // a later part has none
  if (chance(rng, 10)) separators(rng, lines);
  const std::size_t body = lines.size();
  if (one_line) {
    lines.push_back(test::uuencode_lines(data)[0]);
    lines.push_back(std::string(1 + pick(rng, 4), chance(rng, 50) ? '`' : ' '));
  } else {
    for (auto& l : uu_body(rng, data)) lines.push_back(std::move(l));
  }
  if (chance(rng, 15)) blank_style(rng, lines, body);
  if (!chance(rng, 15)) lines.push_back("end");
  if (chance(rng, 30)) lines.push_back("");
  if (chance(rng, 20)) lines.push_back("begin 644 next.bin");
  std::string text = assemble(rng, lines);
  mutate(rng, text);
  return text;
}

// Where a decoder starts and where its segment ends: mostly the whole file,
// sometimes a line start or anywhere.
std::pair<std::uint64_t, std::uint64_t> segment_of(Rng& rng, const std::string& text) {
  std::uint64_t start = 0;
  std::uint64_t end = text.size();
  if (chance(rng, 20) && !text.empty()) start = pick(rng, text.size());
  if (chance(rng, 25)) end = text.empty() ? 0 : pick(rng, text.size() + 1);
  return {start, end};
}

constexpr std::array<std::size_t, 8> kInputBuffers = {1, 2, 3, 64, 1000, 4097, 65536, 262144};
constexpr std::array<std::size_t, 6> kOutputBuffers = {1, 45, 1100, 2000, 65536, 1 << 20};

struct Outcome {
  int result = 0;
  std::string output;
  std::vector<test::Message> messages;
  std::uint64_t position = 0;
  bool eof = false;
  std::uint32_t file_crc = 0;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  os << "{result " << o.result << ", " << o.output.size() << " bytes, crc " << o.file_crc
     << ", position " << o.position << (o.eof ? " eof" : "") << ", messages";
  for (const auto& m : o.messages) os << " " << m;
  return os << "}";
}

using Decode = std::function<int(InputFile&, OutputFile&, std::uint32_t* file_crc)>;

// `positions`: whether where the input stands afterwards is compared (the
// uuencode decoders may leave it anywhere).
// `place`: where the output's bytes go and how far they may reach, as a yEnc
// part at its byte range is written; none when the limit is 0.
struct Placement {
  std::uint64_t offset = 0;
  std::uint64_t limit = 0;
};

Outcome run(const test::TempDir& dir, const std::string& input, std::size_t in_buffer,
            std::size_t out_buffer, bool full_disk, const Decode& decode, bool positions = true,
            Placement place = {}) {
  test::HookRecorder hooks;
  Outcome o;
  auto in = InputFile::open(input, in_buffer);
  const std::string out_path = full_disk ? "/dev/full" : dir.file("out");
  {
    auto out = OutputFile::create(out_path, out_buffer);
    if (place.limit != 0) out->place_at(place.offset, place.limit);
    o.file_crc = 0xFFFFFFFFu;
    o.result = decode(*in, *out, &o.file_crc);
    out->close();
  }
  if (!full_disk) o.output = test::read_file(out_path);
  o.messages = hooks.messages;
  if (positions) {
    o.position = in->position();
    o.eof = in->eof();
  }
  return o;
}

struct Pair {
  Decode fast;
  Decode plain;
  bool positions = true;
};

// One random case through both decoders with the same buffers and segment.
void compare_decoders(Rng& rng, const test::TempDir& dir, const std::string& text, const Pair& p,
                      int round) {
  const std::string path = dir.file("in");
  test::write_file(path, text);
  const std::size_t in_buffer = kInputBuffers[pick(rng, kInputBuffers.size())];
  const std::size_t out_buffer = kOutputBuffers[pick(rng, kOutputBuffers.size())];
  const bool full_disk = chance(rng, 3) && std::filesystem::exists("/dev/full");
  Placement place;
  if (!full_disk && chance(rng, 25)) {
    place.offset = pick(rng, 5000);
    place.limit = place.offset + 1 + pick(rng, text.size());
  }
  const Outcome fast = run(dir, path, in_buffer, out_buffer, full_disk, p.fast, p.positions, place);
  const Outcome plain = run(dir, path, in_buffer, out_buffer, full_disk, p.plain, p.positions, place);
  ASSERT_EQ(fast, plain) << "round " << round << ", input buffer " << in_buffer
                         << ", output buffer " << out_buffer << (full_disk ? ", full disk" : "")
                         << ", placed at " << place.offset << " up to " << place.limit;
}

Pair yenc_pair(std::uint64_t start, std::uint64_t end, std::uint32_t expected) {
  return {[=](InputFile& in, OutputFile& out, std::uint32_t* crc) {
            return DecodeyEnc(in, out, start, end, expected, crc);
          },
          [=](InputFile& in, OutputFile& out, std::uint32_t* crc) {
            return reference::DecodeyEnc(in, out, start, end, expected, crc);
          }};
}

Pair uu_pair(std::uint64_t start, std::uint64_t end, bool last, bool headerless = false) {
  const std::int16_t part = last ? 2 : 1;
  return {[=](InputFile& in, OutputFile& out, std::uint32_t*) {
            return DecodeUU(in, out, start, end, part, 2, headerless);
          },
          [=](InputFile& in, OutputFile& out, std::uint32_t*) {
            return reference::DecodeUU(in, out, start, end, part, 2, headerless);
          },
          false};
}

// The expected part CRC written in the text, so that matches are common.
std::uint32_t expected_crc(Rng& rng, const std::string& text) {
  const std::size_t at = text.find("pcrc32=");
  if (at == std::string::npos || chance(rng, 20)) return chance(rng, 50) ? kNoCrc : 0x12345678u;
  std::string digits = text.substr(at + 7, 10);
  if (digits.starts_with("0x")) digits.erase(0, 2);
  return static_cast<std::uint32_t>(std::strtoul(digits.substr(0, 8).c_str(), nullptr, 16));
}

// ---------------------------------------------------------------------------
// Decoders
// ---------------------------------------------------------------------------

TEST(Differential, YencDecoderMatchesReference) {
  test::TempDir dir;
  Rng rng(0x79656e63);
  const int rounds = decoder_rounds();
  for (int round = 0; round < rounds; ++round) {
    const std::string text = yenc_text(rng);
    const auto [start, end] = segment_of(rng, text);
    compare_decoders(rng, dir, text, yenc_pair(start, end, expected_crc(rng, text)), round);
    if (HasFatalFailure()) return;
  }
}

TEST(Differential, UuDecoderMatchesReference) {
  test::TempDir dir;
  Rng rng(0x75756465);
  const int rounds = decoder_rounds();
  for (int round = 0; round < rounds; ++round) {
    const std::string text = uu_text(rng);
    const auto [start, end] = segment_of(rng, text);
    const bool last = chance(rng, 50);
    compare_decoders(rng, dir, text, uu_pair(start, end, last, chance(rng, 30)), round);
    if (HasFatalFailure()) return;
  }
}

struct NamedCase {
  const char* name;
  std::string text;
};

// Inputs named after what they hold; each runs through both decoders of its
// kind with every buffer size.
const std::vector<NamedCase>& yenc_cases() {
  static const std::vector<NamedCase> cases = {
      {"escape at end of line", "=ybegin line=128 size=3 name=a\r\nab=\r\nc\r\n=yend size=3\r\n"},
      {"CR LF against LF", "=ybegin line=128 size=4 name=a\nab\r\ncd\n=yend size=4\r\n"},
      {"lines ended by CR alone", "=ybegin line=128 size=4 name=a\rab\rcd\r=yend size=4\r"},
      {"=y at line start is data", "=ybegin line=128 size=4 name=a\n=ypart x\n=yend\n=yend s\n"},
      {"missing =yend", "=ybegin line=128 size=4 name=a\r\nabcd\r\nefgh\r\n"},
      {"last line without break", "=ybegin line=128 size=4 name=a\r\nabcd\r\n=yend size=4"},
      {"NUL ends the line's text", std::string("=ybegin name=a\nab\0cd\nef\n=yend \n", 30)},
      {"line over 1,024 characters", "=ybegin name=a\n" + std::string(1500, 'q') + "\n=yend \n"},
      {"escape across the 1,024th character", "=ybegin name=a\n" + std::string(1023, 'q') + "=J" +
                                                  std::string(3000, 'r') + "\n=yend \n"},
      {"NUL past the 1,024th character", "=ybegin name=a\n" + std::string(1100, 'q') +
                                             std::string(1, '\0') + "zz\n=yend \n"},
      {"long last line without break", "=ybegin name=a\n" + std::string(5000, 'q')},
      {"long =yend line", "=ybegin name=a\nab\n=yend " + std::string(3000, 'q') + "\ncd\n"},
      {"long line ended by CR at a buffer edge", "=ybegin name=a\n" + std::string(4096, 'q') + "\r\n" +
                                                     std::string(4095, 'q') + "\r\n=yend \r\n"},
      {"part= in the name", "=ybegin line=128 size=3 name=part=1.bin\nabc\n=yend size=3\n"},
      {"escaped escape", "=ybegin name=a\n==\n===\n====x\n=yend \n"},
      {"CR at the very end", "=ybegin name=a\nabc\r"},
      {"=yend without break", "=ybegin line=128 size=3 name=a\nabc\n=yend size=3 pcrc32=352441c2"},
      {"keys in capitals, CRC with 0x", "=ybegin PART=1 SIZE=3 NAME=a\n=ypart BEGIN=1 END=3\nabc\n"
                                        "=yend SIZE=3 PCRC32=0x352441C2\n"},
      {"part= without =ypart", "=ybegin part=1 size=3 name=a\nabc\n=yend size=3\n"},
      {"=yend size= wrong", "=ybegin size=3 name=a\nabc\n=yend size=2\n"},
  };
  return cases;
}

TEST(Differential, NamedYencCasesMatchReference) {
  test::TempDir dir;
  for (const auto& c : yenc_cases()) {
    const std::string path = dir.file("in");
    test::write_file(path, c.text);
    for (std::size_t in_buffer : kInputBuffers) {
      for (std::size_t out_buffer : {std::size_t{1}, std::size_t{1} << 20}) {
        const Pair p = yenc_pair(0, c.text.size(), kNoCrc);
        EXPECT_EQ(run(dir, path, in_buffer, out_buffer, false, p.fast),
                  run(dir, path, in_buffer, out_buffer, false, p.plain))
            << c.name << ", input buffer " << in_buffer;
      }
    }
  }
}

TEST(Differential, NamedUuCasesMatchReference) {
  const std::string full = "M" + std::string(60, '!');
  const std::vector<NamedCase> cases = {
      {"full lines then a short one", "h\n\nbegin 644 f\n" + full + "\n" + full + "\n#!!!!\n`\nend\n"},
      {"segment ends inside a run of full lines", "h\r\n\r\n" + full + "\r\n" + full + "\r\n" + full + "\r\n"},
      {"full line with a NUL", "h\n\n" + full + "\n" + full.substr(0, 30) + std::string(1, '\0') +
                                   full.substr(31) + "\n" + full + "\n"},
      {"full line without its break", "h\n\n" + full + "\n" + full},
      {"62 characters are not full", "h\n\n" + full + "\n" + full + "!\n" + full + "\nend\n"},
      {"end without break", "h\n\nbegin 644 f\n" + full + "\n#!!!!\nend"},
      {"separators before data", "h\n\n*****\nENJOY!\n=====\nFILE: PIC.JPG\n=====\n" + full + "\n#!!!!\n`\nend\n"},
      {"blank style, stripped", "h\n\nbegin 644 f\nM" + std::string(30, '!') + "\n" + "M" + std::string(59, '!') +
                                    " !\n#!!\n\nend\n"},
      {"empty line amid data", "h\n\n" + full + "\n\n" + full + "\n#!!!!\n`\nend\n"},
      {"empty file", "h\n\nbegin 644 f\n`\nend\n"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.file("in");
    test::write_file(path, c.text);
    for (std::size_t in_buffer : kInputBuffers) {
      for (std::uint64_t end : {std::uint64_t{70}, std::uint64_t{140}, std::uint64_t{c.text.size()}}) {
        const Pair p = uu_pair(0, end, true);
        EXPECT_EQ(run(dir, path, in_buffer, 1 << 20, false, p.fast, false),
                  run(dir, path, in_buffer, 1 << 20, false, p.plain, false))
            << c.name << ", input buffer " << in_buffer << ", end " << end;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Scanner
// ---------------------------------------------------------------------------

using test::describe;

void replace_all(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string scan_text(Rng& rng) {
  std::string text;
  const std::size_t articles = 1 + pick(rng, 4);
  for (std::size_t a = 0; a < articles; ++a) {
    const std::string data = random_bytes(rng, pick(rng, chance(rng, 5) ? 400000 : 3000));
    const std::string eol = eol_of(rng, static_cast<int>(pick(rng, 3)));
    const auto set = chance(rng, 50) ? test::yenc_articles("scan", "f.bin", data, 1 + data.size() / 2, eol)
                                     : test::uu_articles("scan", "f.bin", data, 30, eol);
    const bool subjectless = chance(rng, 25);
    for (const auto& article : set) {
      if (chance(rng, 30)) text += "Subject: loose text without counter" + eol + "=yend size=1 crc32=1" + eol;
      // Without its header block, as a bare encoder's output is.
      const std::string body = subjectless ? article.substr(article.find(eol + eol) + 2 * eol.size()) : article;
      text += body;
      if (chance(rng, 10)) text += body;  // the same part saved twice
      if (chance(rng, 10)) text += "-- " + eol + "begin again next week" + eol + "begin 644 other.bin" + eol;
    }
  }
  // Folded subjects, counters of two forms, a last line without its break.
  if (chance(rng, 20)) {
    const char* const folds[] = {"\r\n\t", "\n  ", "\n\tfolded\n  twice "};
    replace_all(text, "Subject: scan - ", std::string("Subject: scan") + folds[pick(rng, 3)]);
  }
  if (chance(rng, 10)) replace_all(text, "Subject: scan", "Subject: scan (1/2)");
  if (chance(rng, 20)) text.erase(text.find_last_not_of("\r\n") + 1);
  if (chance(rng, 10)) text.insert(0, "begin 644 bare.bin\n#86)C\n`\nend\n");
  if (chance(rng, 10)) text.insert(0, "=ybegin size=5 name=early\n");
  if (chance(rng, 10)) text += std::string(1500, 'S') + "ubject: x\n";
  if (chance(rng, 10)) text.resize(pick(rng, text.size() + 1));
  mutate(rng, text);
  return text;
}

TEST(Differential, ScannerMatchesReference) {
  test::TempDir dir;
  Rng rng(0x7363616e);
  const int rounds = std::max(1, decoder_rounds() / 6);
  for (int round = 0; round < rounds; ++round) {
    const std::string path = dir.file("in" + std::to_string(round % 3));
    test::write_file(path, scan_text(rng));
    // A clock that never moves and a zero interval make every poll reach the
    // hook, so the polls are counted exactly.
    // The third version reads the file ahead, on a second thread where one may run.
    std::array<std::size_t, 3> polls{};
    std::array<std::string, 3> catalogues;
    for (int version = 0; version < 3; ++version) {
      test::HookRecorder hooks;
      dispatch::SetClockForTesting([] { return std::time_t{1000}; });
      uuSetBusyCallback([&](int type, int, std::string_view, int) { polls[version] += type == 0; return 0; }, 0);
      Catalogue catalogue;
      if (version == 1) {
        reference::ScanFile(catalogue, path);
      } else {
        const ScanAhead ahead(version == 2 ? std::vector<std::string>{path, path} : std::vector<std::string>{});
        uuScanFile(catalogue, path);
      }
      catalogues[version] = describe(catalogue);
      for (const test::Message& m : hooks.messages) catalogues[version] += "\n" + m.text;
    }
    for (int version : {0, 2}) {
      ASSERT_EQ(catalogues[version], catalogues[1]) << "round " << round << ", version " << version;
      ASSERT_EQ(polls[version], polls[1]) << "round " << round << ", version " << version;
    }
  }
}

// ---------------------------------------------------------------------------
// Kernels: each one this processor can run, whatever VANTORELLE_ISA says,
// against the byte-by-byte reference; the others are skipped with the reason.
// ---------------------------------------------------------------------------

template <typename Fn>
struct Kernel {
  const char* name;
  Fn fn;
  bool CpuFeatures::*needs;  // null: runs anywhere
  const char* feature;       // what `needs` stands for, for the skip message
};

// Test names and failure messages show the kernel's name, not its address.
template <typename Fn>
void PrintTo(const Kernel<Fn>& kernel, std::ostream* os) {
  *os << kernel.name;
}

template <typename Fn>
std::string kernel_name(const testing::TestParamInfo<Kernel<Fn>>& info) {
  return info.param.name;
}

// Why this processor cannot run the kernel, or nothing when it can.
template <typename Fn>
std::optional<std::string> unavailable(const Kernel<Fn>& kernel) {
  if (kernel.needs == nullptr || cpu_hardware_features().*kernel.needs) return std::nullopt;
  return std::string("this processor lacks ") + kernel.feature + " for the " + kernel.name +
         " kernel";
}

using CrcKernel = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);
using BreakKernel = const char* (*)(const char*, std::size_t);
using SkipKernel = SkippedLines (*)(const char*, std::size_t);
using DecodeKernel = DecodedLines (*)(const char*, std::size_t, unsigned char*, std::size_t);

const std::vector<Kernel<CrcKernel>> kCrcKernels = {
    {"Portable", &crc_update_portable, nullptr, ""},
    {"Dispatched", &crc_update, nullptr, ""},
#if defined(__x86_64__)
    {"Pclmul", &crc_update_pclmul, &CpuFeatures::pclmul, "PCLMULQDQ and SSE4.1"},
    {"Vpclmul256", &crc_update_vpclmul256, &CpuFeatures::vpclmul256, "VPCLMULQDQ on AVX2"},
    {"Vpclmul", &crc_update_vpclmul, &CpuFeatures::vpclmul, "VPCLMULQDQ on AVX-512"},
#endif
};

const std::vector<Kernel<BreakKernel>> kBreakKernels = {
    {"Plain", &find_line_break_plain, nullptr, ""},
    {"Dispatched", &find_line_break, nullptr, ""},
#if defined(__x86_64__)
    {"Avx2", &find_line_break_avx2, &CpuFeatures::avx2, "AVX2"},
#endif
};

const std::vector<Kernel<SkipKernel>> kSkipKernels = {
    {"Plain", &skip_plain_lines_plain, nullptr, ""},
    {"Dispatched", &skip_plain_lines, nullptr, ""},
#if defined(__x86_64__)
    {"Avx2", &skip_plain_lines_avx2, &CpuFeatures::avx2, "AVX2"},
    {"Avx512", &skip_plain_lines_avx512, &CpuFeatures::avx512_vbmi2, "AVX-512 VBMI"},
#endif
};

const std::vector<Kernel<DecodeKernel>> kYencKernels = {
    {"Plain", &yenc_decode_lines_plain, nullptr, ""},
    {"Dispatched", &yenc_decode_lines, nullptr, ""},
#if defined(__x86_64__)
    {"Avx2", &yenc_decode_lines_avx2, &CpuFeatures::avx2, "AVX2"},
    {"Avx512", &yenc_decode_lines_avx512, &CpuFeatures::avx512_vbmi2, "AVX-512 VBMI2"},
#endif
};

const std::vector<Kernel<DecodeKernel>> kUuKernels = {
    {"Plain", &uu_decode_full_lines_plain, nullptr, ""},
    {"Dispatched", &uu_decode_full_lines, nullptr, ""},
#if defined(__x86_64__)
    {"Avx2", &uu_decode_full_lines_avx2, &CpuFeatures::avx2, "AVX2"},
    {"Avx512", &uu_decode_full_lines_avx512, &CpuFeatures::avx512_vbmi2, "AVX-512 VBMI"},
#endif
};

class CrcKernelTest : public testing::TestWithParam<Kernel<CrcKernel>> {};
class BreakKernelTest : public testing::TestWithParam<Kernel<BreakKernel>> {};
class SkipKernelTest : public testing::TestWithParam<Kernel<SkipKernel>> {};
class YencKernelTest : public testing::TestWithParam<Kernel<DecodeKernel>> {};
class UuKernelTest : public testing::TestWithParam<Kernel<DecodeKernel>> {};

INSTANTIATE_TEST_SUITE_P(Kernels, CrcKernelTest, testing::ValuesIn(kCrcKernels),
                         kernel_name<CrcKernel>);
INSTANTIATE_TEST_SUITE_P(Kernels, BreakKernelTest, testing::ValuesIn(kBreakKernels),
                         kernel_name<BreakKernel>);
INSTANTIATE_TEST_SUITE_P(Kernels, SkipKernelTest, testing::ValuesIn(kSkipKernels),
                         kernel_name<SkipKernel>);
INSTANTIATE_TEST_SUITE_P(Kernels, YencKernelTest, testing::ValuesIn(kYencKernels),
                         kernel_name<DecodeKernel>);
INSTANTIATE_TEST_SUITE_P(Kernels, UuKernelTest, testing::ValuesIn(kUuKernels),
                         kernel_name<DecodeKernel>);

TEST_P(CrcKernelTest, MatchesByteWiseTable) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x637263);
  for (int round = 0; round < 2000; ++round) {
    const std::string block = random_bytes(rng, pick(rng, round < 1000 ? 300 : 70000));
    const auto* data = reinterpret_cast<const unsigned char*>(block.data());
    const auto reg = static_cast<std::uint32_t>(rng());
    std::uint32_t expected = reg;
    crcadd_block(&expected, data, block.size());
    ASSERT_EQ(GetParam().fn(reg, data, block.size()), expected) << block.size();
  }
}

TEST(CrcKernels, ShiftEqualsZeroBytesAndSplitsCombine) {
  Rng rng(0x736866);
  for (int round = 0; round < 200; ++round) {
    const auto reg = static_cast<std::uint32_t>(rng());
    const std::size_t n = pick(rng, 5000);
    const std::string zeros(n, '\0');
    std::uint32_t expected = reg;
    crcadd_block(&expected, reinterpret_cast<const unsigned char*>(zeros.data()), n);
    ASSERT_EQ(crc_shift(reg, n), expected) << n;
    // What the yEnc decoder relies on: one pass serves a second register.
    const std::string block = random_bytes(rng, n);
    const auto* data = reinterpret_cast<const unsigned char*>(block.data());
    const auto other = static_cast<std::uint32_t>(rng());
    std::uint32_t direct = other;
    crcadd_block(&direct, data, n);
    ASSERT_EQ(crc_shift(other ^ reg, n) ^ crc_update(reg, data, n), direct) << n;
  }
}

// Blocks for the line kernels: plain text, or rich in the prefixes' first bytes.
std::string line_block(Rng& rng, int round, std::size_t& size) {
  size = pick(rng, round % 10 == 0 ? 3000 : 300);
  return kernel_block(rng, size, round % 2 ? "ab\r\n" : std::string_view("xxxxxSu=yberS=b\r\n\0", 18));
}

TEST_P(BreakKernelTest, MatchesPlain) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x6c696e65);
  for (int round = 0; round < 20000; ++round) {
    std::size_t size = 0;
    const std::string block = line_block(rng, round, size);
    ASSERT_EQ(GetParam().fn(block.data(), size), reference::find_line_break(block.data(), size))
        << round;
  }
}

TEST_P(SkipKernelTest, MatchesPlain) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x6c696e65);
  for (int round = 0; round < 20000; ++round) {
    std::size_t size = 0;
    const std::string block = line_block(rng, round, size);
    const SkippedLines plain = reference::skip_plain_lines(block.data(), size);
    const SkippedLines fast = GetParam().fn(block.data(), size);
    ASSERT_EQ(fast.consumed, plain.consumed) << round;
    ASSERT_EQ(fast.lines, plain.lines) << round;
  }
}

// With room for every line no version may stop for want of it, so the kernel
// must stop where the plain version does, with the same bytes. Its buffer ends
// right after the 64 bytes of slack, so that a store past them is caught by
// the sanitizers.
void compare_with_ample_room(DecodeKernel kernel, DecodeKernel plain_kernel,
                             const std::string& block, std::size_t size, int round) {
  const std::size_t room = size + kYencLineRoom;
  std::vector<unsigned char> expected(room + 64), got(room + 64);
  const DecodedLines plain = plain_kernel(block.data(), size, expected.data(), room);
  const DecodedLines fast = kernel(block.data(), size, got.data(), room);
  ASSERT_EQ(fast.consumed, plain.consumed) << round;
  ASSERT_EQ(fast.produced, plain.produced) << round;
  ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(fast.produced),
                         expected.begin()))
      << round;
}

// Short of room a kernel may stop at any line start before the plain
// version's stop, but what it took must be whole lines decoded as the plain
// version decodes them. The plain version given exactly those lines and the
// byte after them (it wants to see past a CR) takes all of them.
void compare_with_short_room(DecodeKernel kernel, DecodeKernel plain_kernel,
                             const std::string& block, std::size_t size, std::size_t room,
                             int round) {
  std::vector<unsigned char> got(room + 64);
  const DecodedLines fast = kernel(block.data(), size, got.data(), room);
  ASSERT_LE(fast.produced, room) << round;
  if (fast.consumed == 0) {
    ASSERT_EQ(fast.produced, 0u) << round;
    return;
  }
  ASSERT_LT(fast.consumed, size) << round;
  const std::size_t ample = fast.consumed + kYencLineRoom;
  std::vector<unsigned char> expected(ample + 64);
  const DecodedLines plain = plain_kernel(block.data(), fast.consumed + 1, expected.data(), ample);
  ASSERT_EQ(plain.consumed, fast.consumed) << round << ": not a line start";
  ASSERT_EQ(plain.produced, fast.produced) << round;
  ASSERT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(fast.produced),
                         expected.begin()))
      << round;
}

// yEnc blocks: random lines, or regular 128-character lines as articles have
// them, from alphabets rich in escapes, breaks, NULs and "=y".
std::string yenc_block(Rng& rng, int round, std::size_t& size) {
  static const std::string alphabets[] = {std::string("abc=\r\n", 6),
                                          std::string("==y\r\n\0abcdefgh", 14),
                                          "qwertyuiopasdfghjklzxcvbnm=\r\n"};
  size = pick(rng, round % 10 == 0 ? 4000 : 400);
  std::string block = kernel_block(rng, size, alphabets[round % 3]);
  if (round % 5 == 0) {
    for (std::size_t i = 128; i + 1 < size; i += 130) block.replace(i, 2, "\r\n");
  }
  if (round % 10 == 7) {
    // Lines about as long as the kept line, some longer.
    size = 3500;
    block = kernel_block(rng, size, "abcdefgh=");
    std::replace_if(block.begin(), block.begin() + static_cast<long>(size),
                    [](char c) { return c == '\r' || c == '\n' || c == '\0'; }, 'x');
    for (std::size_t i = 1000 + pick(rng, 60); i + 1 < size; i += 1000 + pick(rng, 60)) {
      block.replace(i, 2, "\r\n");
    }
  }
  return block;
}

TEST_P(YencKernelTest, StopsWherePlainDoes) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x796b);
  for (int round = 0; round < 20000; ++round) {
    std::size_t size = 0;
    const std::string block = yenc_block(rng, round, size);
    compare_with_ample_room(GetParam().fn, &reference::yenc_decode_lines, block, size, round);
    if (HasFatalFailure()) return;
  }
}

TEST_P(YencKernelTest, ShortOfRoomTakesWholeLines) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x796c);
  for (int round = 0; round < 5000; ++round) {
    std::size_t size = 0;
    const std::string block = yenc_block(rng, round, size);
    const std::size_t room = kYencLineRoom + pick(rng, 600);
    compare_with_short_room(GetParam().fn, &reference::yenc_decode_lines, block, size, room, round);
    if (HasFatalFailure()) return;
  }
}

// Runs of 61-character lines, some spoilt by a break, a NUL, a lower-case
// letter or a missing character, some with any byte as a character.
std::string uu_block(Rng& rng, std::size_t& size) {
  const std::string full = "M" + std::string(60, '!');
  std::string text;
  while (text.size() < 700) {
    std::string line = full;
    for (std::size_t i = 1; i < line.size(); ++i) line[i] = static_cast<char>(32 + pick(rng, 64));
    if (chance(rng, 5)) line[pick(rng, line.size())] = "\0\r\nMa"[pick(rng, 5)];
    if (chance(rng, 5)) line[1 + pick(rng, line.size() - 1)] = static_cast<char>(rng());
    if (chance(rng, 3)) line.pop_back();
    text += line + eol_of(rng, static_cast<int>(pick(rng, 4)));
  }
  size = pick(rng, text.size());
  return text + random_bytes(rng, 64);
}

TEST_P(UuKernelTest, StopsWherePlainDoes) {
  if (const auto why = unavailable(GetParam())) GTEST_SKIP() << *why;
  Rng rng(0x756b);
  for (int round = 0; round < 20000; ++round) {
    std::size_t size = 0;
    const std::string text = uu_block(rng, size);
    compare_with_ample_room(GetParam().fn, &reference::uu_decode_full_lines, text, size, round);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace vantorelle
