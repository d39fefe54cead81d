// uu_kernel.hpp - decoding runs of full uuencoded data lines straight from the input buffer.
//
// A full line is 'M' and 60 data characters (45 bytes). In the body of a
// segment such lines need no other test, so runs of them are decoded here and
// everything else is left to the line-by-line decoder. The plain version works
// a 64-bit word at a time; all are checked against a byte-by-byte one
// (reference/).
#pragma once

#include <cstddef>

#include "yenc_kernel.hpp"  // DecodedLines

namespace vantorelle {

inline constexpr std::size_t kUuFullLineBytes = 45;
// Room that must stay free in dst before each line: its bytes and a vector
// store's overhang.
inline constexpr std::size_t kUuLineRoom = 64;

// Decodes full lines from src[0], which starts a line, into dst: each exactly
// 61 characters, the first 'M', the others in the alphabet (' ' to '`': a line
// with any other character needs its report), then a break that
// ends before src[limit] (limit at most size). Stops before any other line and
// when less than kUuLineRoom of dst is left. 64 readable bytes must follow
// src[size - 1].
DecodedLines uu_decode_full_lines(const char* src, std::size_t limit, unsigned char* dst,
                                  std::size_t dst_size);
DecodedLines uu_decode_full_lines_plain(const char* src, std::size_t limit, unsigned char* dst,
                                        std::size_t dst_size);

#if defined(__x86_64__)
// AVX2 kernel; needs cpu_features().avx2. Exposed for tests.
DecodedLines uu_decode_full_lines_avx2(const char* src, std::size_t limit, unsigned char* dst,
                                       std::size_t dst_size);
// AVX-512 VBMI kernel; needs cpu_features().avx512_vbmi2. Exposed for tests.
DecodedLines uu_decode_full_lines_avx512(const char* src, std::size_t limit, unsigned char* dst,
                                         std::size_t dst_size);
#endif

}  // namespace vantorelle
