// crc32_pclmul.cpp - CRC-32 over large blocks with carry-less multiplication (x86-64).
//
// Four 128-bit accumulators fold 64 bytes per round: each is multiplied by
// x^(512+32) and x^(512-32) modulo the polynomial (low and high halves) and
// the next 16 bytes are added. Then they are folded into one 128-bit value by
// the 128-bit constants. Folding keeps the remainder, so the register over
// the data equals the table CRC, from a zero register, of that value's 16
// bytes followed by the bytes not yet folded. With VPCLMULQDQ the same is
// done on 32-byte (AVX2) or 64-byte (AVX-512) registers. A fold over d bits
// uses x^(d+32) and x^(d-32) modulo the polynomial, bit-reflected and
// shifted left by one.
#if defined(__x86_64__)

#include <immintrin.h>

#include <cstring>

#include "crc32.hpp"
#include "crc32_fast.hpp"

namespace vantorelle {
namespace {

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i acc, __m128i k,
                                                             __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(acc, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(acc, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(lo, hi), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("avx512f,avx512vl,vpclmulqdq"))) inline __m512i fold512(__m512i acc,
                                                                               __m512i k,
                                                                               __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(acc, k, 0x00),
                                   _mm512_clmulepi64_epi128(acc, k, 0x11), next, 0x96);
}

__attribute__((target("avx2,vpclmulqdq"))) inline __m256i fold256(__m256i acc, __m256i k,
                                                                   __m256i next) {
  const __m256i lo = _mm256_clmulepi64_epi128(acc, k, 0x00);
  const __m256i hi = _mm256_clmulepi64_epi128(acc, k, 0x11);
  return _mm256_xor_si256(_mm256_xor_si256(lo, hi), next);
}

__attribute__((target("avx2"))) inline __m256i load256(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Folds the last 16-byte value and what is left, as the kernels end.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t finish(__m128i x0, const unsigned char* data,
                                                              std::size_t size) {
  const __m128i k_128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  while (size >= 16) {
    x0 = fold(x0, k_128, load(data));
    data += 16;
    size -= 16;
  }
  unsigned char folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), x0);
  std::uint32_t r = crc_update_portable(0, folded, sizeof folded);
  crcadd_block(&r, data, size);
  return r;
}

}  // namespace

__attribute__((target("pclmul,sse4.1"))) std::uint32_t crc_update_pclmul(
    std::uint32_t reg, const unsigned char* data, std::size_t size) {
  if (size < 64) return crc_update_portable(reg, data, size);
  const __m128i k_512 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i k_128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);

  __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = load(data + 16);
  __m128i x2 = load(data + 32);
  __m128i x3 = load(data + 48);
  data += 64;
  size -= 64;
  while (size >= 64) {
    x0 = fold(x0, k_512, load(data));
    x1 = fold(x1, k_512, load(data + 16));
    x2 = fold(x2, k_512, load(data + 32));
    x3 = fold(x3, k_512, load(data + 48));
    data += 64;
    size -= 64;
  }
  x0 = fold(x0, k_128, x1);
  x0 = fold(x0, k_128, x2);
  x0 = fold(x0, k_128, x3);
  return finish(x0, data, size);
}

__attribute__((target("avx2,vpclmulqdq,pclmul,sse4.1"))) std::uint32_t
crc_update_vpclmul256(std::uint32_t reg, const unsigned char* data, std::size_t size) {
  if (size < 256) return crc_update_pclmul(reg, data, size);
  // Four 32-byte accumulators: x^(1024 +/- 32) fold 128 bytes per round,
  // then x^(256 +/- 32) joins them and x^(128 +/- 32) the two halves.
  const __m256i k_1024 = _mm256_set_epi64x(0x14a7fe880LL, 0x1e88ef372LL, 0x14a7fe880LL, 0x1e88ef372LL);
  const __m256i k_256 = _mm256_set_epi64x(0x15a546366LL, 0x0f1da05aaLL, 0x15a546366LL, 0x0f1da05aaLL);
  __m256i y0 = _mm256_xor_si256(load256(data), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m256i y1 = load256(data + 32);
  __m256i y2 = load256(data + 64);
  __m256i y3 = load256(data + 96);
  data += 128;
  size -= 128;
  while (size >= 128) {
    y0 = fold256(y0, k_1024, load256(data));
    y1 = fold256(y1, k_1024, load256(data + 32));
    y2 = fold256(y2, k_1024, load256(data + 64));
    y3 = fold256(y3, k_1024, load256(data + 96));
    data += 128;
    size -= 128;
  }
  y0 = fold256(y0, k_256, y1);
  y0 = fold256(y0, k_256, y2);
  y0 = fold256(y0, k_256, y3);
  const __m128i k_128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  const __m128i x0 = fold(_mm256_castsi256_si128(y0), k_128, _mm256_extracti128_si256(y0, 1));
  return finish(x0, data, size);
}

__attribute__((target("avx512f,avx512vl,vpclmulqdq,pclmul,sse4.1"))) std::uint32_t
crc_update_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t size) {
  if (size < 256) return crc_update_pclmul(reg, data, size);
  // The same folding on four 64-byte accumulators: x^(2048+32) and
  // x^(2048-32) fold 256 bytes per round, then x^(512 +/- 32) joins them.
  const __m512i k_2048 = _mm512_set_epi64(0x1322d1430LL, 0x11542778aLL, 0x1322d1430LL,
                                          0x11542778aLL, 0x1322d1430LL, 0x11542778aLL,
                                          0x1322d1430LL, 0x11542778aLL);
  const __m512i k_512 = _mm512_set_epi64(0x1c6e41596LL, 0x154442bd4LL, 0x1c6e41596LL,
                                         0x154442bd4LL, 0x1c6e41596LL, 0x154442bd4LL,
                                         0x1c6e41596LL, 0x154442bd4LL);
  __m512i z0 = _mm512_xor_si512(_mm512_loadu_si512(data),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i z1 = _mm512_loadu_si512(data + 64);
  __m512i z2 = _mm512_loadu_si512(data + 128);
  __m512i z3 = _mm512_loadu_si512(data + 192);
  data += 256;
  size -= 256;
  while (size >= 256) {
    z0 = fold512(z0, k_2048, _mm512_loadu_si512(data));
    z1 = fold512(z1, k_2048, _mm512_loadu_si512(data + 64));
    z2 = fold512(z2, k_2048, _mm512_loadu_si512(data + 128));
    z3 = fold512(z3, k_2048, _mm512_loadu_si512(data + 192));
    data += 256;
    size -= 256;
  }
  z0 = fold512(z0, k_512, z1);
  z0 = fold512(z0, k_512, z2);
  z0 = fold512(z0, k_512, z3);
  const __m128i k_128 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  // Zero-masking extracts: GCC 12 warns about the plain ones' undefined source.
  __m128i x0 = _mm512_maskz_extracti32x4_epi32(0xF, z0, 0);
  x0 = fold(x0, k_128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 1));
  x0 = fold(x0, k_128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 2));
  x0 = fold(x0, k_128, _mm512_maskz_extracti32x4_epi32(0xF, z0, 3));
  return finish(x0, data, size);
}

}  // namespace vantorelle

#endif
