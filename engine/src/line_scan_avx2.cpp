// line_scan_avx2.cpp - finding line breaks and skipping uninteresting lines with AVX2 (x86-64).
//
// Each 32 or 64 bytes become bit masks. A break ends at every LF and at every
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

// Bits 0 .. n-1.
inline std::uint64_t low_bits64(std::size_t n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1u;
}

// The bytes of v that are a prefix byte, as `prefixes` gives them back.
__attribute__((target("avx2"))) inline std::uint32_t prefix_mask(__m256i v, __m256i prefixes) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(prefixes, v), v)));
}

// One mask of 64 bits from the masks of two 32-byte halves.
inline std::uint64_t joined(std::uint32_t low, std::uint32_t high) {
  return low | (std::uint64_t{high} << 32);
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

__attribute__((target("avx2,bmi,bmi2,popcnt,lzcnt")))
SkippedLines skip_plain_lines_avx2(const char* data, std::size_t size) {
  SkippedLines done;
  if (size < 2) return done;
  // 'S', 'b' and '=' differ in their low four bits: a byte shuffle by those
  // bits gives back the one prefix byte each byte could be (a byte with its
  // top bit set gets zero, no prefix), so one compare finds all three.
  const __m256i prefixes = _mm256_setr_epi8(
      -128, -128, 'b', 'S', -128, -128, -128, -128, -128, -128, -128, -128, -128, '=', -128, -128,
      -128, -128, 'b', 'S', -128, -128, -128, -128, -128, -128, -128, -128, -128, '=', -128, -128);
  // Break ends count only before the last byte (it decides a CR's LF).
  const std::size_t limit = size - 1;
  std::uint64_t carry = 1;  // data[0] starts a line
  std::size_t lines = 0;
  std::size_t consumed = 0;
  for (std::size_t at = 0; at < limit; at += 64) {
    const __m256i lo = load32(data + at);
    const __m256i hi = load32(data + at + 32);
    const std::uint64_t cr = joined(equal_mask(lo, '\r'), equal_mask(hi, '\r'));
    const std::uint64_t lf = joined(equal_mask(lo, '\n'), equal_mask(hi, '\n'));
    // Whether the byte after each one is an LF; data[at + 64] is within the padding at worst.
    const std::uint64_t lf_next = (lf >> 1) | (static_cast<std::uint64_t>(data[at + 64] == '\n') << 63);
    const std::uint64_t ends = ((cr & ~lf_next) | lf) & low_bits64(limit - at);
    const std::uint64_t starts = (ends << 1) | carry;
    carry = ends >> 63;
    const std::uint64_t hits = starts & joined(prefix_mask(lo, prefixes), prefix_mask(hi, prefixes));
    if (hits != 0) {
      const std::size_t h = _tzcnt_u64(hits);
      done.lines = lines + static_cast<std::size_t>(_mm_popcnt_u64(ends & low_bits64(h)));
      done.consumed = at + h;
      return done;
    }
    // Without a branch: half the blocks of 64 end a line, in no pattern.
    lines += static_cast<std::size_t>(_mm_popcnt_u64(ends));
    const std::size_t after_last = at + 64 - static_cast<std::size_t>(_lzcnt_u64(ends));
    consumed = ends != 0 ? after_last : consumed;
  }
  done.lines = lines;
  done.consumed = consumed;
  return done;
}

}  // namespace vantorelle

#endif
