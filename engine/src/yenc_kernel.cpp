// yenc_kernel.cpp - decoding runs of ordinary yEnc data lines: the plain version and dispatch.
#include "yenc_kernel.hpp"

#include "cpu_features.hpp"
#include "swar.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

using Kernel = DecodedLines (*)(const char*, std::size_t, unsigned char*, std::size_t);

Kernel choose_kernel() {
#if defined(__x86_64__)
  if (cpu_features().avx512_vbmi2) return &yenc_decode_lines_avx512;
  if (cpu_features().avx2) return &yenc_decode_lines_avx2;
#endif
  return &yenc_decode_lines_plain;
}

bool ends_line(char c) { return c == '\r' || c == '\n' || c == '\0'; }

// Decodes the line at src[start] into out, eight characters at a time, until
// its first CR, LF or NUL, the block's end, or a length past kLineCapacity;
// returns where it stopped (the caller decides whether the line counts) and
// leaves `out` after the bytes written. Each step stores eight decoded bytes
// and keeps those before the first escape or break; an escape and its
// character are then taken on their own. Up to 8 bytes past `out` may be
// written, and the line's bytes stay within kLineCapacity + 8.
std::size_t decode_line_words(const char* src, std::size_t start, std::size_t size,
                              unsigned char*& out) {
  std::size_t at = start;
  while (at < size && at - start <= kLineCapacity) {
    const std::uint64_t word = swar::load(src + at);
    // Only the first mark counts, so the cheaper tests do.
    const std::uint64_t marks = swar::first_byte_equal(word, '\r') |
                                swar::first_byte_equal(word, '\n') |
                                swar::first_zero_byte(word) | swar::first_byte_equal(word, '=');
    swar::store(out, swar::minus(word, 42));
    if (marks == 0) {
      out += 8;
      at += 8;
      continue;
    }
    const std::size_t plain = swar::first_marked(marks);
    out += plain;
    at += plain;
    if (src[at] != '=') return at;
    // An escape: the character after it, unless that ends the line (then the
    // escape gives nothing).
    ++at;
    if (at >= size || ends_line(src[at])) return at;
    *out++ = static_cast<unsigned char>(static_cast<unsigned char>(src[at]) - 106u);
    ++at;
  }
  return at;
}

}  // namespace

DecodedLines yenc_decode_lines_plain(const char* src, std::size_t size, unsigned char* dst,
                                     std::size_t dst_size) {
  DecodedLines done;
  while (dst_size - done.produced >= kYencLineRoom) {
    const std::size_t start = done.consumed;
    if (start + 1 >= size || (src[start] == '=' && src[start + 1] == 'y')) break;
    unsigned char* out = dst + done.produced;
    const std::size_t brk = decode_line_words(src, start, size, out);
    if (brk >= size || src[brk] == '\0' || brk - start > kLineCapacity) break;
    std::size_t next = brk + 1;
    if (src[brk] == '\r' && next < size && src[next] == '\n') ++next;
    if (next >= size) break;
    done.produced = static_cast<std::size_t>(out - dst);
    done.consumed = next;
  }
  return done;
}

DecodedLines yenc_decode_lines(const char* src, std::size_t size, unsigned char* dst,
                               std::size_t dst_size) {
  static const Kernel kernel = choose_kernel();
  return kernel(src, size, dst, dst_size);
}

}  // namespace vantorelle
