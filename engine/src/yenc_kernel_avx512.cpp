// yenc_kernel_avx512.cpp - decoding runs of ordinary yEnc data lines with AVX-512 VBMI2 (x86-64).
//
// The block is taken 64 bytes at a time regardless of where lines end. Bit
// masks mark the breaks (a break ends at every LF and at every CR not followed
// by an LF; a line starts after each end), the '=' characters and the stop
// conditions. Escapes are resolved left to right over the '=' bits only: an
// '=' escaped by another is data, an escape reaches into the next 64 bytes
// through a carry, and an '=' before a break escapes the break character, which
// is dropped anyway. Every character loses 42, escaped ones 64 more, and a
// byte compress drops escapes and breaks. Stops fall on line starts; the bytes
// decoded past the last one are simply not counted.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "vantorelle/engine.hpp"
#include "yenc_kernel.hpp"

namespace vantorelle {
namespace {

inline std::uint64_t low_bits(std::size_t n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1u;
}

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi,bmi2,popcnt,lzcnt")))
DecodedLines yenc_decode_lines_avx512(const char* src, std::size_t size, unsigned char* dst,
                                      std::size_t dst_size) {
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i nul = _mm512_setzero_si512();
  const __m512i eq = _mm512_set1_epi8('=');
  const __m512i y = _mm512_set1_epi8('y');
  const __m512i k42 = _mm512_set1_epi8(42);
  const __m512i k64 = _mm512_set1_epi8(64);

  DecodedLines line_start;  // the last line start met, and the output there
  if (size < 2) return line_start;
  const std::size_t limit = size - 1;  // breaks must end before the last byte
  std::size_t produced = 0;
  std::uint64_t start_carry = 1;  // src[0] starts a line
  bool escape_carry = false;

  // A chunk at the limit still records the line start carried into it.
  for (std::size_t at = 0; at <= limit && dst_size - produced >= 128; at += 64) {
    const __m512i v = _mm512_loadu_si512(src + at);
    const std::uint64_t valid = low_bits(limit - at);
    const std::uint64_t cr_mask = _mm512_cmpeq_epi8_mask(v, cr);
    const std::uint64_t lf_mask = _mm512_cmpeq_epi8_mask(v, lf);
    // Whether the byte after each one is an LF (src[at + 64]: the padding at worst), and a 'y'.
    const std::uint64_t lf_next =
        (lf_mask >> 1) | (static_cast<std::uint64_t>(src[at + 64] == '\n') << 63);
    const std::uint64_t ends = (lf_mask | (cr_mask & ~lf_next)) & valid;
    const std::uint64_t breaks = (cr_mask | lf_mask) & valid;
    const std::uint64_t starts = ((ends << 1) | start_carry) & low_bits(limit - at + 1);
    start_carry = ends >> 63;

    // The earliest place to stop, as a bit position in these 64 bytes; a stop
    // before them (at the line start carried in) is 0 with `before` set.
    std::size_t stop = 64;
    bool before = false;
    const std::uint64_t y_next = (_mm512_cmpeq_epi8_mask(v, y) >> 1) |
                                 (static_cast<std::uint64_t>(src[at + 64] == 'y') << 63);
    const std::uint64_t eq_all = _mm512_cmpeq_epi8_mask(v, eq);
    const std::uint64_t ybegin = starts & eq_all & y_next;
    if (ybegin != 0) stop = _tzcnt_u64(ybegin);
    const std::uint64_t nuls = _mm512_cmpeq_epi8_mask(v, nul) & valid;
    if (nuls != 0) {
      const std::size_t p = _tzcnt_u64(nuls);
      const std::uint64_t own = starts & low_bits(p + 1);
      const std::size_t s = own != 0 ? 63 - _lzcnt_u64(own) : 0;
      if (own == 0) before = true;
      if (s < stop) stop = s;
    }
    // The line running into these bytes may not grow past kLineCapacity.
    const std::size_t first_break = breaks != 0 ? _tzcnt_u64(breaks) : 64;
    if ((starts & 1u) == 0 && at + first_break - line_start.consumed > kLineCapacity) {
      before = true;
    }
    if (before) return line_start;

    const std::uint64_t eq_mask = eq_all & valid;
    const std::uint64_t carried = escape_carry ? 1u : 0u;
    std::uint64_t escaped;
    std::uint64_t escapers;
    if ((eq_mask & ((eq_mask << 1) | carried)) == 0) {
      // No '=' follows an escape (encoders never write one there): every '='
      // escapes the character after it.
      escapers = eq_mask;
      escaped = (eq_mask << 1) | carried;
    } else {
      escaped = carried;
      escapers = 0;
      std::uint64_t pending = eq_mask & ~escaped;
      while (pending != 0) {
        const std::uint64_t bit = pending & (0 - pending);
        escapers |= bit;
        const std::uint64_t after = bit << 1;  // zero when bit 63 escapes the next block
        escaped |= after;
        pending &= ~(bit | after);
      }
    }
    escape_carry = (escapers >> 63) != 0;

    __m512i bytes = _mm512_sub_epi8(v, k42);
    bytes = _mm512_mask_sub_epi8(bytes, escaped, bytes, k64);
    const std::uint64_t keep = valid & ~breaks & ~escapers;
    _mm512_storeu_si512(dst + produced, _mm512_maskz_compress_epi8(keep, bytes));

    if (stop < 64) {
      line_start.consumed = at + stop;
      line_start.produced = produced + _mm_popcnt_u64(keep & low_bits(stop));
      return line_start;
    }
    // The last line start here, if any, without a branch that would often miss.
    const std::size_t last = 63 - _lzcnt_u64(starts | 1u);
    const std::size_t at_last = produced + _mm_popcnt_u64(keep & low_bits(last));
    line_start.consumed = starts != 0 ? at + last : line_start.consumed;
    line_start.produced = starts != 0 ? at_last : line_start.produced;
    produced += _mm_popcnt_u64(keep);
  }
  return line_start;
}

}  // namespace vantorelle

#endif
