// uu_kernel_avx2.cpp - decoding runs of full uuencoded data lines with AVX2 (x86-64).
//
// The shape of a line is checked on one 64-bit mask of CR, LF and NUL, its
// characters on one of the bytes outside the alphabet. The 60
// data characters become 6-bit values ((c - 32) & 63); multiply-adds pack
// every four into 24 bits, and a byte shuffle and a lane permute put the three
// bytes of each group in order: 24 bytes per 32 characters.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "prefetch.hpp"
#include "uu_kernel.hpp"

namespace vantorelle {
namespace {

__attribute__((target("avx2"))) inline __m256i load32(const char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

__attribute__((target("avx2"))) inline std::uint32_t specials(__m256i v) {
  const __m256i m = _mm256_or_si256(
      _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('\r')),
                      _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))),
      _mm256_cmpeq_epi8(v, _mm256_setzero_si256()));
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(m));
}

// The bytes outside the alphabet, ' ' to '`' (signed: bytes above 0x7F are below ' ').
__attribute__((target("avx2"))) inline std::uint32_t outside_alphabet(__m256i v) {
  const __m256i m = _mm256_or_si256(_mm256_cmpgt_epi8(_mm256_set1_epi8(' '), v),
                                    _mm256_cmpgt_epi8(v, _mm256_set1_epi8('`')));
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(m));
}

// 32 characters to 24 bytes, in the low 24 bytes of the result.
__attribute__((target("avx2"))) inline __m256i decode32(__m256i chars) {
  const __m256i values =
      _mm256_and_si256(_mm256_sub_epi8(chars, _mm256_set1_epi8(32)), _mm256_set1_epi8(63));
  const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
  const __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
  const __m256i order = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,
                                         2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i bytes = _mm256_shuffle_epi8(groups, order);
  return _mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
}

}  // namespace

__attribute__((target("avx2"))) DecodedLines uu_decode_full_lines_avx2(const char* src,
                                                                       std::size_t limit,
                                                                       unsigned char* dst,
                                                                       std::size_t dst_size) {
  constexpr std::uint64_t kShape = std::uint64_t{1} << 61;  // the break right after 61 characters
  DecodedLines done;
  while (dst_size - done.produced >= kUuLineRoom && done.consumed + 61 < limit) {
    const char* line = src + done.consumed;
    if (line[0] != 'M') break;
    prefetch_input(line);
    const __m256i head = load32(line);
    const __m256i tail = load32(line + 32);
    const std::uint64_t mask = specials(head) | (static_cast<std::uint64_t>(specials(tail)) << 32);
    if ((mask & ((kShape << 1) - 1)) != kShape || line[61] == '\0') break;
    const std::uint64_t odd = outside_alphabet(head) |
                              (static_cast<std::uint64_t>(outside_alphabet(tail)) << 32);
    if ((odd & (kShape - 2)) != 0) break;  // characters 1 to 60
    std::size_t next = 62;
    if (line[61] == '\r' && line[62] == '\n') ++next;
    if (done.consumed + next >= limit) break;

    unsigned char* out = dst + done.produced;
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), decode32(load32(line + 1)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 24), decode32(load32(line + 33)));
    done.produced += kUuFullLineBytes;
    done.consumed += next;
  }
  return done;
}

}  // namespace vantorelle

#endif
