// line_scan_avx512.cpp - skipping uninteresting lines with AVX-512 BW (x86-64).
//
// The same masks as the AVX2 kernel (line_scan_avx2.cpp), 64 bytes at a time.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "line_scan.hpp"

namespace vantorelle {
namespace {

inline std::uint64_t low_bits(std::size_t n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1u;
}

// Bit i: whether the byte after byte i of v (`after` for the last) is c.
__attribute__((target("avx512f,avx512bw"))) inline std::uint64_t next_byte_is(__m512i v,
                                                                               char after, char c) {
  return (_mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c)) >> 1) |
         (static_cast<std::uint64_t>(after == c) << 63);
}

}  // namespace

__attribute__((target("avx512f,avx512bw,bmi,bmi2,popcnt,lzcnt")))
SkippedLines skip_plain_lines_avx512(const char* data, std::size_t size) {
  SkippedLines done;
  if (size < 2) return done;
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i s = _mm512_set1_epi8('S');
  const __m512i b = _mm512_set1_epi8('b');
  const __m512i eq = _mm512_set1_epi8('=');
  // Break ends count only before the last byte (it decides a CR's LF).
  const std::size_t limit = size - 1;
  std::uint64_t carry = 1;  // data[0] starts a line
  for (std::size_t at = 0; at < limit; at += 64) {
    const __m512i v = _mm512_loadu_si512(data + at);
    const std::uint64_t lf_mask = _mm512_cmpeq_epi8_mask(v, lf);
    const std::uint64_t cr_mask = _mm512_cmpeq_epi8_mask(v, cr);
    // Whether the byte after each one is an LF; data[at + 64] is within the padding at worst.
    const std::uint64_t lf_next = next_byte_is(v, data[at + 64], '\n');
    const std::uint64_t ends = ((cr_mask & ~lf_next) | lf_mask) & low_bits(limit - at);
    const std::uint64_t starts = (ends << 1) | carry;
    carry = ends >> 63;
    const std::uint64_t wanted = _mm512_cmpeq_epi8_mask(v, s) | _mm512_cmpeq_epi8_mask(v, b) |
                                 _mm512_cmpeq_epi8_mask(v, eq);
    const std::uint64_t hits = starts & wanted;
    if (hits != 0) {
      const std::size_t h = _tzcnt_u64(hits);
      done.lines += static_cast<std::size_t>(_mm_popcnt_u64(ends & low_bits(h)));
      done.consumed = at + h;
      return done;
    }
    if (ends != 0) {
      done.lines += static_cast<std::size_t>(_mm_popcnt_u64(ends));
      done.consumed = at + 64 - _lzcnt_u64(ends);
    }
  }
  return done;
}

}  // namespace vantorelle

#endif
