// reference_yenc_decoder.cpp - the plain yEnc segment decoder: byte by byte, crcadd per register.
//
// Every character of a data line is a byte plus 42 (modulo 256); '=' escapes
// the next character, which then carries a further 64. The part register runs
// over this call's bytes; the whole-file register belongs to the record.
#include <string>
#include <vector>

#include "crc32.hpp"
#include "decoders.hpp"
#include "reference.hpp"

namespace vantorelle::reference {
namespace {

bool starts_with(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// Decodes one data line into bytes; an '=' at the end of the line gives nothing.
std::size_t decode_line(std::string_view line, unsigned char* bytes) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    unsigned c = static_cast<unsigned char>(line[i]);
    if (c == '=') {
      if (++i == line.size()) break;
      c = static_cast<unsigned char>(line[i]) - 64u;
    }
    bytes[n++] = static_cast<unsigned char>(c - 42u);
  }
  return n;
}

// A whole line, however long (NULs included).
std::string read_whole_line(InputFile& input) {
  bool cut = false;
  std::string line(input.read_line_head(cut));
  for (bool ended = !cut; !ended;) line += input.read_line_piece(ended);
  return line;
}

}  // namespace

int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc) {
  std::uint32_t part_crc = 0xFFFFFFFFu;
  input.seek(start_offset);

  std::string_view line;
  for (;;) {
    line = input.read_line();
    if (input.eof()) return kDecodeOk;
    if (starts_with(line, "=ybegin ")) break;
    if (input.position() > end_position) return kDecodeOk;
  }
  if (line.substr(0, line.find(" name=")).find("part=") != std::string_view::npos) {
    do {
      line = input.read_line();
      if (input.eof()) return kDecodeOk;
    } while (!starts_with(line, "=ypart "));
  }

  for (;;) {
    const std::string whole = read_whole_line(input);
    const bool cut_short = input.eof();
    // A line that runs into the end of the input counts only when it was long.
    if (cut_short && whole.size() <= kLineCapacity) return kDecodeOk;
    const std::string data = whole.substr(0, whole.find('\0'));
    if (starts_with(data, "=yend ")) {
      if (cut_short) return kDecodeOk;
      break;
    }
    std::vector<unsigned char> bytes(data.size());
    const std::size_t n = decode_line(data, bytes.data());
    crcadd_block(&part_crc, bytes.data(), n);
    crcadd_block(file_crc, bytes.data(), n);
    if (!output.write(bytes.data(), n)) return kDecodeWriteFailed;
    if (cut_short) return kDecodeOk;
  }
  if (expected_part_crc == kNoCrc) return kDecodeOk;
  return ~part_crc == expected_part_crc ? kDecodeOk : kDecodeCrcMismatch;
}

}  // namespace vantorelle::reference
