// line_scan_avx512.cpp - skipping uninteresting lines with AVX-512 BW and VBMI (x86-64).
//
// The same masks as the AVX2 kernel (line_scan_avx2.cpp), 64 bytes at a time,
// but the three prefix bytes cost one byte permute and one compare.
#if defined(__x86_64__)

#include <immintrin.h>

#include <array>
#include <cstdint>

#include "line_scan.hpp"

namespace vantorelle {
namespace {

inline std::uint64_t low_bits(std::size_t n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1u;
}

// At each byte's low six bits, the one prefix byte with those bits ('S', 'b'
// and '=' differ there), and elsewhere a byte that matches none.
alignas(64) constexpr std::array<char, 64> kPrefixTable = [] {
  std::array<char, 64> t{};
  for (std::size_t i = 0; i < t.size(); ++i) t[i] = static_cast<char>(i ^ 1u);
  for (const char c : {'S', 'b', '='}) t[static_cast<unsigned char>(c) & 63u] = c;
  return t;
}();

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vbmi,bmi,bmi2,popcnt,lzcnt")))
SkippedLines skip_plain_lines_avx512(const char* data, std::size_t size) {
  SkippedLines done;
  if (size < 2) return done;
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i prefixes = _mm512_load_si512(kPrefixTable.data());
  // Break ends count only before the last byte (it decides a CR's LF).
  const std::size_t limit = size - 1;
  std::uint64_t carry = 1;  // data[0] starts a line
  std::size_t lines = 0;
  std::size_t consumed = 0;
  for (std::size_t at = 0; at < limit; at += 64) {
    const __m512i v = _mm512_loadu_si512(data + at);
    const std::uint64_t lf_mask = _mm512_cmpeq_epi8_mask(v, lf);
    const std::uint64_t cr_mask = _mm512_cmpeq_epi8_mask(v, cr);
    // Whether the byte after each one is an LF; data[at + 64] is within the padding at worst.
    const std::uint64_t lf_next = (lf_mask >> 1) | (static_cast<std::uint64_t>(data[at + 64] == '\n') << 63);
    const std::uint64_t ends = ((cr_mask & ~lf_next) | lf_mask) & low_bits(limit - at);
    const std::uint64_t starts = (ends << 1) | carry;
    carry = ends >> 63;
    // A prefix byte is one the table gives back at its low six bits.
    const std::uint64_t wanted =
        _mm512_cmpeq_epi8_mask(_mm512_maskz_permutexvar_epi8(~__mmask64{0}, v, prefixes), v);
    const std::uint64_t hits = starts & wanted;
    if (hits != 0) {
      const std::size_t h = _tzcnt_u64(hits);
      done.lines = lines + static_cast<std::size_t>(_mm_popcnt_u64(ends & low_bits(h)));
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
