// line_scan.hpp - finding line breaks and skipping uninteresting lines in a block of input.
//
// A line break is CR, LF, or CR LF taken together. Every function here has a
// plain version (eight bytes at a time in a 64-bit word) and faster ones
// chosen at first use; all give the answers of the byte-by-byte versions in
// reference/.
#pragma once

#include <cstddef>

namespace vantorelle {

// Where the first CR or LF in [data, data + size) stands, or null.
const char* find_line_break(const char* data, std::size_t size);
const char* find_line_break_plain(const char* data, std::size_t size);

// Lines skipped from the start of a block: `consumed` bytes holding `lines`
// whole lines with their breaks.
struct SkippedLines {
  std::size_t consumed = 0;
  std::size_t lines = 0;
};

// The first bytes of "Subject: ", "begin " and the "=y" lines: a line that
// starts with none of them is never one the scanner looks at. (Testing two
// bytes stops less often but costs the kernels more than it saves.)
inline bool starts_scanned_prefix(char c) { return c == 'S' || c == 'b' || c == '='; }

// Skips whole lines from data[0], which starts a line, for the scanner: stops
// at the first line that begins with 'S', 'b' or '=' (the first bytes of every
// prefix the scanner looks for), and before any line whose break is not
// wholly known inside the block (its break must end before the last byte, so
// that a CR's possible LF is in view). At least kPadding readable bytes must
// follow the block.
SkippedLines skip_plain_lines(const char* data, std::size_t size);
SkippedLines skip_plain_lines_plain(const char* data, std::size_t size);

#if defined(__x86_64__)
// AVX2 kernels; need cpu_features().avx2. Exposed for tests.
const char* find_line_break_avx2(const char* data, std::size_t size);
SkippedLines skip_plain_lines_avx2(const char* data, std::size_t size);
// AVX-512 BW and VBMI kernel; needs cpu_features().avx512_vbmi2. Exposed for tests.
SkippedLines skip_plain_lines_avx512(const char* data, std::size_t size);
#endif

}  // namespace vantorelle
