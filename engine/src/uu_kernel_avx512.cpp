// uu_kernel_avx512.cpp - decoding runs of full uuencoded data lines with AVX-512 VBMI (x86-64).
//
// As the AVX2 kernel (uu_kernel_avx2.cpp), one line per 64-byte vector: the
// shape check is one mask, and one byte permute puts the 45 bytes in order.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "prefetch.hpp"
#include "uu_kernel.hpp"

namespace vantorelle {

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) DecodedLines uu_decode_full_lines_avx512(
    const char* src, std::size_t limit, unsigned char* dst, std::size_t dst_size) {
  constexpr std::uint64_t kShape = std::uint64_t{1} << 61;  // the break right after 61 characters
  constexpr std::uint64_t kLine = (kShape << 1) - 1;
  const __m512i cr = _mm512_set1_epi8('\r');
  const __m512i lf = _mm512_set1_epi8('\n');
  const __m512i nul = _mm512_setzero_si512();
  const __m512i blank = _mm512_set1_epi8(' ');  // the alphabet: ' ' to '`'
  const __m512i grave = _mm512_set1_epi8('`');
  const __m512i k32 = _mm512_set1_epi8(32);
  const __m512i k63 = _mm512_set1_epi8(63);
  const __m512i pair = _mm512_set1_epi32(0x01400140);
  const __m512i quad = _mm512_set1_epi32(0x00011000);
  // Bytes 2, 1, 0 of every 32-bit group, in group order.
  alignas(64) static constexpr unsigned char kOrder[64] = {
      2,  1,  0,  6,  5,  4,  10, 9,  8,  14, 13, 12, 18, 17, 16, 22, 21, 20, 26, 25, 24, 30,
      29, 28, 34, 33, 32, 38, 37, 36, 42, 41, 40, 46, 45, 44, 50, 49, 48, 54, 53, 52, 58, 57,
      56, 62, 61, 60, 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0};
  const __m512i order = _mm512_load_si512(kOrder);

  DecodedLines done;
  // Lines are taken with a fixed length (62, or 63 with CR LF) so that the
  // next line's address does not wait for this line's bytes; a line whose
  // break differs ends the inner loop and sets the length again.
  for (;;) {
    const char* first = src + done.consumed;
    if (done.consumed + 61 >= limit) break;
    const bool crlf = first[61] == '\r' && first[62] == '\n';
    const std::size_t length = crlf ? 63 : 62;
    const std::size_t before = done.consumed;
    while (dst_size - done.produced >= kUuLineRoom && done.consumed + length < limit) {
      const char* line = src + done.consumed;
      prefetch_input(line);
      const __m512i v = _mm512_loadu_si512(line);
      const std::uint64_t crs = _mm512_cmpeq_epi8_mask(v, cr);
      const std::uint64_t lfs = _mm512_cmpeq_epi8_mask(v, lf);
      const std::uint64_t zero = _mm512_cmpeq_epi8_mask(v, nul);
      const std::uint64_t odd = _mm512_cmplt_epu8_mask(v, blank) | _mm512_cmpgt_epu8_mask(v, grave);
      const bool shaped = line[0] == 'M' && ((crs | lfs | zero) & kLine) == kShape &&
                          ((crs | lfs) & kShape) != 0 && (odd & (kShape - 2)) == 0;
      const bool same_break = (((crs >> 61) & (lfs >> 62) & 1u) != 0) == crlf;
      if (!shaped || !same_break) break;

      const __m512i chars = _mm512_loadu_si512(line + 1);
      const __m512i values = _mm512_and_si512(_mm512_sub_epi8(chars, k32), k63);
      const __m512i groups = _mm512_madd_epi16(_mm512_maddubs_epi16(values, pair), quad);
      // The zero-masking form: GCC 12 warns about the plain one's undefined source.
      _mm512_storeu_si512(dst + done.produced,
                          _mm512_maskz_permutexvar_epi8(~std::uint64_t{0}, order, groups));
      done.produced += kUuFullLineBytes;
      done.consumed += length;
    }
    if (done.consumed == before) break;
  }
  return done;
}

}  // namespace vantorelle

#endif
