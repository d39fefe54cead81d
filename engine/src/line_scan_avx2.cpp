// line_scan_avx2.cpp - finding line breaks and skipping uninteresting lines with AVX2 (x86-64).
//
// Each 32-byte block becomes bit masks. A break ends at every LF and at every
// CR not followed by an LF; a line starts after each break end. The masks
// shift by one bit across blocks through a carry.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "line_scan.hpp"

namespace vantorelle {
namespace {

__attribute__((target("avx2"))) inline std::uint32_t equal_mask(__m256i v, char c) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(c))));
}

__attribute__((target("avx2"))) inline __m256i load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Bits 0 .. n-1 (n at most 32).
inline std::uint32_t low_bits(std::size_t n) {
  return n >= 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << n) - 1u;
}

}  // namespace

__attribute__((target("avx2"))) const char* find_line_break_avx2(const char* data,
                                                                std::size_t size) {
  std::size_t at = 0;
  for (; at + 32 <= size; at += 32) {
    const __m256i v = load32(data + at);
    const std::uint32_t m = equal_mask(v, '\r') | equal_mask(v, '\n');
    if (m != 0) return data + at + static_cast<unsigned>(__builtin_ctz(m));
  }
  for (; at < size; ++at) {
    if (data[at] == '\r' || data[at] == '\n') return data + at;
  }
  return nullptr;
}

__attribute__((target("avx2,bmi"))) SkippedLines skip_plain_lines_avx2(const char* data,
                                                                       std::size_t size) {
  SkippedLines done;
  if (size < 2) return done;
  // Break ends count only before the last byte (it decides a CR's LF).
  const std::size_t limit = size - 1;
  std::uint32_t carry = 1;  // data[0] starts a line
  for (std::size_t at = 0; at < limit; at += 32) {
    const __m256i v = load32(data + at);
    const __m256i next = load32(data + at + 1);  // within the padding at worst
    const std::uint32_t cr = equal_mask(v, '\r');
    const std::uint32_t lf = equal_mask(v, '\n');
    const std::uint32_t lf_next = equal_mask(next, '\n');
    const std::uint32_t ends = ((cr & ~lf_next) | lf) & low_bits(limit - at);
    const std::uint32_t starts = (ends << 1) | carry;
    carry = ends >> 31;
    const std::uint32_t wanted = equal_mask(v, 'S') | equal_mask(v, 'b') | equal_mask(v, '=');
    const std::uint32_t hits = starts & wanted;
    if (hits != 0) {
      const unsigned h = static_cast<unsigned>(__builtin_ctz(hits));
      done.lines += static_cast<std::size_t>(__builtin_popcount(ends & low_bits(h)));
      done.consumed = at + h;
      return done;
    }
    if (ends != 0) {
      done.lines += static_cast<std::size_t>(__builtin_popcount(ends));
      done.consumed = at + 32 - static_cast<unsigned>(__builtin_clz(ends));
    }
  }
  return done;
}

}  // namespace vantorelle

#endif
