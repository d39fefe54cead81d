// yenc_kernel_avx512.cpp - decoding runs of ordinary yEnc data lines with AVX-512 VBMI2 (x86-64).
//
// 64 bytes per vector: one compare per mask, the line and escape bookkeeping
// of yenc_kernel_masks.hpp, one masked subtract for the escaped bytes and one
// byte compress that drops escapes and breaks. The bytes decoded past the last
// stop are simply not counted.
#if defined(__x86_64__)

#include <immintrin.h>

#include "yenc_kernel.hpp"
#include "yenc_kernel_masks.hpp"

namespace vantorelle {

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

  if (size < 2) return {};
  yenc_masks::ChunkWalker walker(size);
  std::size_t produced = 0;
  // A chunk at the limit still records the line start carried into it.
  for (std::size_t at = 0; at <= walker.limit() && dst_size - produced >= 128; at += 64) {
    const __m512i v = _mm512_loadu_si512(src + at);
    // src[at + 64] is within the padding at worst.
    const yenc_masks::ChunkMasks masks{
        _mm512_cmpeq_epi8_mask(v, cr), _mm512_cmpeq_epi8_mask(v, lf),
        _mm512_cmpeq_epi8_mask(v, eq), _mm512_cmpeq_epi8_mask(v, y),
        _mm512_cmpeq_epi8_mask(v, nul), src[at + 64] == '\n', src[at + 64] == 'y'};
    const yenc_masks::ChunkPlan plan = walker.plan(masks, at);
    if (plan.stop_before) break;

    __m512i bytes = _mm512_sub_epi8(v, k42);
    bytes = _mm512_mask_sub_epi8(bytes, plan.escaped, bytes, k64);
    _mm512_storeu_si512(dst + produced, _mm512_maskz_compress_epi8(plan.keep, bytes));
    if (walker.finish(plan, at, produced)) break;
  }
  return walker.line_start();
}

}  // namespace vantorelle

#endif
