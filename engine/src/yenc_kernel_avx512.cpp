// yenc_kernel_avx512.cpp - decoding runs of ordinary yEnc data lines with AVX-512 VBMI2 (x86-64).
//
// 64 bytes per vector: one compare per mask, the line and escape bookkeeping
// of yenc_kernel_masks.hpp, one masked subtract for the escaped bytes and one
// byte compress that drops escapes and breaks. The bytes decoded past the last
// stop are simply not counted.
#if defined(__x86_64__)

#include <immintrin.h>

#include "prefetch.hpp"
#include "yenc_kernel.hpp"
#include "yenc_kernel_masks.hpp"

namespace vantorelle {

namespace {

#define VANTORELLE_AVX512_TARGET target("avx512f,avx512bw,avx512vl,avx512vbmi2,bmi,bmi2,popcnt,lzcnt")

// Decodes the 64 bytes at src[at] into dst[produced]; whether to stop.
template <bool kWhole>
__attribute__((VANTORELLE_AVX512_TARGET, always_inline)) inline bool decode_chunk(
    const char* src, std::size_t at, unsigned char* dst, std::size_t& produced,
    yenc_masks::ChunkWalker& walker) {
  prefetch_input(src + at);
  const __m512i v = _mm512_loadu_si512(src + at);
  // src[at + 64] is within the padding at worst.
  const yenc_masks::ChunkMasks masks{
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r')), _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n')),
      _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('=')), _mm512_testn_epi8_mask(v, v), src[at + 64] == '\n'};
  const yenc_masks::ChunkPlan plan = walker.plan<kWhole>(masks, src + at, at);
  if (plan.stop_before) return true;

  __m512i bytes = _mm512_sub_epi8(v, _mm512_set1_epi8(42));
  bytes = _mm512_mask_sub_epi8(bytes, plan.escaped, bytes, _mm512_set1_epi8(64));
  _mm512_storeu_si512(dst + produced, _mm512_maskz_compress_epi8(plan.keep, bytes));
  return walker.finish(plan, at, produced);
}

}  // namespace

__attribute__((VANTORELLE_AVX512_TARGET))
DecodedLines yenc_decode_lines_avx512(const char* src, std::size_t size, unsigned char* dst,
                                      std::size_t dst_size) {
  if (size < 2) return {};
  yenc_masks::ChunkWalker walker(size);
  std::size_t produced = 0;
  std::size_t at = 0;
  for (; walker.whole(at) && dst_size - produced >= 128; at += 64) {
    if (decode_chunk<true>(src, at, dst, produced, walker)) return walker.line_start();
  }
  // A chunk at the limit still records the line start carried into it.
  for (; at <= walker.limit() && dst_size - produced >= 128; at += 64) {
    if (decode_chunk<false>(src, at, dst, produced, walker)) break;
  }
  return walker.line_start();
}

#undef VANTORELLE_AVX512_TARGET

}  // namespace vantorelle

#endif
