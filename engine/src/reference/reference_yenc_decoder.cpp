// reference_yenc_decoder.cpp - the plain yEnc segment decoder: byte by byte, crcadd per register.
//
// Every character of a data line is a byte plus 42 (modulo 256); '=' escapes
// the next character, which then carries a further 64. The part register runs
// over this call's bytes; the whole-file register belongs to the record.
// Nothing at or past the segment's end is decoded.
#include <string>
#include <vector>

#include "crc32.hpp"
#include "decoders.hpp"
#include "header_values.hpp"
#include "reference.hpp"

namespace vantorelle::reference {
namespace {

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

int decode_part(InputFile& input, OutputFile& output, std::uint64_t start_offset,
                std::uint64_t end_position, std::uint32_t expected_part_crc,
                std::uint32_t* file_crc, std::int64_t& yend_size) {
  std::uint32_t part_crc = 0xFFFFFFFFu;
  input.seek(start_offset);

  std::string_view line;
  for (;;) {
    line = input.read_line();
    if (input.eof()) return kDecodeOk;
    if (line.starts_with("=ybegin ")) break;
    if (input.position() > end_position) return kDecodeOk;
  }
  if (find_key(line.substr(0, find_key(line, " name=")), "part=") != std::string_view::npos) {
    // The "=ypart " line, if the segment has one before any "=yend ".
    const std::uint64_t data = input.position();
    bool found = false;
    while (!found && input.position() < end_position) {
      line = input.read_line();
      if (input.eof() || line.starts_with("=yend ")) break;
      found = line.starts_with("=ypart ");
    }
    if (!found) input.seek(data);
  }

  for (;;) {
    if (input.position() >= end_position) return kDecodeOk;
    const std::string whole = read_whole_line(input);
    const bool cut_short = input.eof();
    // A line broken off by a read error counts only when it was long.
    if (cut_short && whole.size() <= kLineCapacity) return kDecodeOk;
    const std::string data = whole.substr(0, whole.find('\0'));
    if (data.starts_with("=yend ")) {
      std::string_view value;
      yend_size = find_value(data, "size=", value) ? decimal_value64(value) : -1;
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

}  // namespace

int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc, std::int64_t* yend_size) {
  std::int64_t size = -1;
  const unsigned errors = input.read_errors();
  int result = decode_part(input, output, start_offset, end_position, expected_part_crc, file_crc, size);
  if (yend_size != nullptr) *yend_size = size;
  if (input.read_errors() != errors && report_read_error(input, result) == kDecodeWriteFailed) {
    result = kDecodeWriteFailed;
  } else if (input.read_errors() != errors) {
    result = kDecodeOk;
  }
  return result;
}

}  // namespace vantorelle::reference
