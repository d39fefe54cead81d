// yenc_kernel.hpp - decoding runs of ordinary yEnc data lines straight from the input buffer.
//
// The decoder hands over the unread part of its input buffer and free room in
// the output buffer; the kernel decodes as many whole lines as it safely can
// and leaves every other line to the line-by-line path, which has the whole
// line rule. The plain version works eight characters at a time in a 64-bit
// word; all of them are checked against a byte-by-byte one (reference/).
#pragma once

#include <cstddef>

namespace vantorelle {

struct DecodedLines {
  std::size_t consumed = 0;  // input bytes: whole lines with their breaks
  std::size_t produced = 0;  // bytes written to dst
};

// Room that must stay free in dst before each line: the longest kept line and
// a vector store's overhang.
inline constexpr std::size_t kYencLineRoom = 1024 + 64;

// Decodes whole lines from src[0], which starts a line, into dst. Stops before
// a line that starts with "=y", holds a NUL, is longer than kLineCapacity, or
// whose break does not end before the last byte of the block; with ample room
// in dst every version stops at the same line. When dst runs short it may stop
// at any line start (callers offer at least kYencLineRoom). 64 readable bytes
// must follow the block, and dst must have 64 writable bytes of slack.
DecodedLines yenc_decode_lines(const char* src, std::size_t size, unsigned char* dst,
                               std::size_t dst_size);
DecodedLines yenc_decode_lines_plain(const char* src, std::size_t size, unsigned char* dst,
                                     std::size_t dst_size);

#if defined(__x86_64__)
// AVX2 kernel; needs cpu_features().avx2. Exposed for tests.
DecodedLines yenc_decode_lines_avx2(const char* src, std::size_t size, unsigned char* dst,
                                    std::size_t dst_size);
// AVX-512 VBMI2 kernel; needs cpu_features().avx512_vbmi2. Exposed for tests.
DecodedLines yenc_decode_lines_avx512(const char* src, std::size_t size, unsigned char* dst,
                                      std::size_t dst_size);
#endif

}  // namespace vantorelle
