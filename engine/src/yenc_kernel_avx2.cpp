// yenc_kernel_avx2.cpp - decoding runs of ordinary yEnc data lines with AVX2 (x86-64).
//
// Each 64 bytes are two 32-byte vectors whose compares become the 64-bit masks
// of yenc_kernel_masks.hpp, which does the line and escape bookkeeping. The
// escaped bytes' mask is spread back into a vector for the subtraction. AVX2
// has no byte compress, so each 8-byte group is packed by a byte shuffle from
// a table indexed by its 8 keep bits and stored whole, the next group's store
// starting where this one's kept bytes end: at most 8 bytes past the last kept
// one are written, inside the 64 bytes of slack.
#if defined(__x86_64__)

#include <immintrin.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "prefetch.hpp"
#include "yenc_kernel.hpp"
#include "yenc_kernel_masks.hpp"

namespace vantorelle {
namespace {

// Entry m: the positions of m's set bits, lowest first, as shuffle indices
// (plus `base`); the unused bytes select zero.
constexpr std::array<std::uint64_t, 256> pack_table(unsigned base) {
  std::array<std::uint64_t, 256> table{};
  for (unsigned m = 0; m < 256; ++m) {
    std::uint64_t entry = 0;
    unsigned n = 0;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if ((m >> bit) & 1u) entry |= static_cast<std::uint64_t>(bit + base) << (8 * n++);
    }
    for (; n < 8; ++n) entry |= std::uint64_t{0x80} << (8 * n);
    table[m] = entry;
  }
  return table;
}

// The shuffle works within 16-byte lanes: a lane's second 8-byte group has
// indices 8 to 15.
constexpr std::array<std::uint64_t, 256> kPackLow = pack_table(0);
constexpr std::array<std::uint64_t, 256> kPackHigh = pack_table(8);

__attribute__((target("avx2"))) inline std::uint64_t mask_of(__m256i lo, __m256i hi, __m256i c) {
  const auto l = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, c)));
  const auto h = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, c)));
  return l | (static_cast<std::uint64_t>(h) << 32);
}

// 0xFF in byte i where bit i of m is set.
__attribute__((target("avx2"))) inline __m256i spread_bits(std::uint32_t m) {
  const __m256i byte_of_bit = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,
                                               2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  const __m256i bit_of_byte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
  const __m256i spread =
      _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(m)), byte_of_bit);
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit_of_byte), bit_of_byte);
}

__attribute__((target("avx2"))) inline void store8(unsigned char* out, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), v);
}

__attribute__((target("avx2"))) inline void store8_high(unsigned char* out, __m128i v) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_unpackhi_epi64(v, v));
}

// Writes the kept bytes of 32 in order at out; returns how many.
__attribute__((target("avx2,popcnt"))) inline std::size_t pack32(unsigned char* out,
                                                                  __m256i bytes,
                                                                  std::uint32_t keep) {
  const unsigned g0 = keep & 0xFFu, g1 = (keep >> 8) & 0xFFu;
  const unsigned g2 = (keep >> 16) & 0xFFu, g3 = keep >> 24;
  const __m256i order = _mm256_setr_epi64x(
      static_cast<long long>(kPackLow[g0]), static_cast<long long>(kPackHigh[g1]),
      static_cast<long long>(kPackLow[g2]), static_cast<long long>(kPackHigh[g3]));
  const __m256i packed = _mm256_shuffle_epi8(bytes, order);
  const __m128i low = _mm256_castsi256_si128(packed);
  const __m128i high = _mm256_extracti128_si256(packed, 1);
  unsigned char* at = out;
  store8(at, low);
  at += _mm_popcnt_u32(g0);
  store8_high(at, low);
  at += _mm_popcnt_u32(g1);
  store8(at, high);
  at += _mm_popcnt_u32(g2);
  store8_high(at, high);
  at += _mm_popcnt_u32(g3);
  return static_cast<std::size_t>(at - out);
}

#define VANTORELLE_AVX2_TARGET target("avx2,bmi,bmi2,popcnt,lzcnt,prfchw")

// Decodes the 64 bytes at src[at] into dst[produced]; whether to stop.
template <bool kWhole>
__attribute__((VANTORELLE_AVX2_TARGET, always_inline)) inline bool decode_chunk(
    const char* src, std::size_t at, unsigned char* dst, std::size_t& produced,
    yenc_masks::ChunkWalker& walker) {
  prefetch_input(src + at);
  const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + at));
  const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + at + 32));
  // src[at + 64] is within the padding at worst.
  const yenc_masks::ChunkMasks masks{
      mask_of(lo, hi, _mm256_set1_epi8('\r')), mask_of(lo, hi, _mm256_set1_epi8('\n')),
      mask_of(lo, hi, _mm256_set1_epi8('=')), mask_of(lo, hi, _mm256_setzero_si256()),
      src[at + 64] == '\n'};
  const yenc_masks::ChunkPlan plan = walker.plan<kWhole>(masks, src + at, at);
  if (plan.stop_before) return true;

  const __m256i k42 = _mm256_set1_epi8(42);
  const __m256i k64 = _mm256_set1_epi8(64);
  __m256i bytes_lo = _mm256_sub_epi8(lo, k42);
  __m256i bytes_hi = _mm256_sub_epi8(hi, k42);
  // Without branches: either way would often be mispredicted.
  const auto escaped_lo = static_cast<std::uint32_t>(plan.escaped);
  const auto escaped_hi = static_cast<std::uint32_t>(plan.escaped >> 32);
  bytes_lo = _mm256_sub_epi8(bytes_lo, _mm256_and_si256(spread_bits(escaped_lo), k64));
  bytes_hi = _mm256_sub_epi8(bytes_hi, _mm256_and_si256(spread_bits(escaped_hi), k64));
  unsigned char* out = dst + produced;
  // The output's lines may still be in the cache of the worker's core, which
  // wrote them out from there: asking for them for writing a few chunks
  // ahead lets those fetches overlap the decoding (it took the slow runs
  // away). Cores without PREFETCHW take it as a no-op.
  __builtin_prefetch(out + 256, 1, 3);
  out += pack32(out, bytes_lo, static_cast<std::uint32_t>(plan.keep));
  pack32(out, bytes_hi, static_cast<std::uint32_t>(plan.keep >> 32));
  return walker.finish(plan, at, produced);
}

}  // namespace

__attribute__((VANTORELLE_AVX2_TARGET))
DecodedLines yenc_decode_lines_avx2(const char* src, std::size_t size, unsigned char* dst,
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

#undef VANTORELLE_AVX2_TARGET

}  // namespace vantorelle

#endif
