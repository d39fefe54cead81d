// gf16_avx2.cpp - the GF(2^16) multiply-accumulate on AVX2: nibble look-ups by byte shuffle.
//
// A product is linear in the word, so factor * w is the XOR of the products
// of its four nibbles, each a 16-entry table of 16-bit results: eight 16-byte
// shuffle tables (low and high result byte per nibble). 64 bytes per step:
// two vectors split into their words' low and high bytes, looked up, and
// interleaved back; every operation stays within its 128-bit lane.
#if defined(__x86_64__)
#include <immintrin.h>

#include "gf16.hpp"

namespace vantorelle::par2::gf16 {

__attribute__((target("avx2"))) void mul_acc_avx2(unsigned char* dst, const unsigned char* src,
                                                  const MulTable& t, std::size_t bytes) {
  __m256i tab[8];
  for (unsigned i = 0; i < 8; ++i)
    tab[i] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.nibbles[i].data())));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // Even bytes (the words' low bytes) to the first half of each lane, odd ones to the second.
  const __m256i split = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                         0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  std::size_t i = 0;
  for (; i + 64 <= bytes; i += 64) {
    const __m256i a = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)), split);
    const __m256i b = _mm256_shuffle_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32)), split);
    const __m256i low = _mm256_unpacklo_epi64(a, b);
    const __m256i high = _mm256_unpackhi_epi64(a, b);
    const __m256i n0 = _mm256_and_si256(low, nibble);
    const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(low, 4), nibble);
    const __m256i n2 = _mm256_and_si256(high, nibble);
    const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(high, 4), nibble);
    const __m256i result_low = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(tab[0], n0), _mm256_shuffle_epi8(tab[2], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(tab[4], n2), _mm256_shuffle_epi8(tab[6], n3)));
    const __m256i result_high = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(tab[1], n0), _mm256_shuffle_epi8(tab[3], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(tab[5], n2), _mm256_shuffle_epi8(tab[7], n3)));
    __m256i* out_a = reinterpret_cast<__m256i*>(dst + i);
    __m256i* out_b = reinterpret_cast<__m256i*>(dst + i + 32);
    _mm256_storeu_si256(out_a, _mm256_xor_si256(_mm256_loadu_si256(out_a),
                                                _mm256_unpacklo_epi8(result_low, result_high)));
    _mm256_storeu_si256(out_b, _mm256_xor_si256(_mm256_loadu_si256(out_b),
                                                _mm256_unpackhi_epi8(result_low, result_high)));
  }
  mul_acc_portable(dst + i, src + i, t, bytes - i);
}

__attribute__((target("avx2"))) void split_words_avx2(unsigned char* data, std::size_t bytes) {
  const __m256i split = _mm256_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15,
                                         0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  for (std::size_t i = 0; i + 64 <= bytes; i += 64) {
    __m256i* a = reinterpret_cast<__m256i*>(data + i);
    __m256i* b = reinterpret_cast<__m256i*>(data + i + 32);
    const __m256i x = _mm256_shuffle_epi8(_mm256_loadu_si256(a), split);
    const __m256i y = _mm256_shuffle_epi8(_mm256_loadu_si256(b), split);
    _mm256_storeu_si256(a, _mm256_unpacklo_epi64(x, y));
    _mm256_storeu_si256(b, _mm256_unpackhi_epi64(x, y));
  }
}

__attribute__((target("avx2"))) void join_words_avx2(unsigned char* data, std::size_t bytes) {
  for (std::size_t i = 0; i + 64 <= bytes; i += 64) {
    __m256i* a = reinterpret_cast<__m256i*>(data + i);
    __m256i* b = reinterpret_cast<__m256i*>(data + i + 32);
    const __m256i low = _mm256_loadu_si256(a);
    const __m256i high = _mm256_loadu_si256(b);
    _mm256_storeu_si256(a, _mm256_unpacklo_epi8(low, high));
    _mm256_storeu_si256(b, _mm256_unpackhi_epi8(low, high));
  }
}

namespace {

// The product of one 64-byte step of split words, the low result bytes in
// `low`, the high ones in `high`.
__attribute__((target("avx2"))) inline void product(const __m256i (&tab)[8], __m256i in_low, __m256i in_high,
                                                    __m256i* low, __m256i* high) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i n0 = _mm256_and_si256(in_low, nibble);
  const __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(in_low, 4), nibble);
  const __m256i n2 = _mm256_and_si256(in_high, nibble);
  const __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(in_high, 4), nibble);
  *low = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(tab[0], n0), _mm256_shuffle_epi8(tab[2], n1)),
                          _mm256_xor_si256(_mm256_shuffle_epi8(tab[4], n2), _mm256_shuffle_epi8(tab[6], n3)));
  *high = _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(tab[1], n0), _mm256_shuffle_epi8(tab[3], n1)),
                           _mm256_xor_si256(_mm256_shuffle_epi8(tab[5], n2), _mm256_shuffle_epi8(tab[7], n3)));
}

}  // namespace

__attribute__((target("avx2"))) void mul_acc_split_avx2(unsigned char* dst, const unsigned char* src,
                                                        const MulTable& t, std::size_t bytes) {
  __m256i tab[8];
  for (unsigned i = 0; i < 8; ++i)
    tab[i] = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(t.nibbles[i].data())));
  std::size_t i = 0;
  for (; i + 64 <= bytes; i += 64) {
    __m256i low, high;
    product(tab, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i)),
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32)), &low, &high);
    __m256i* out_low = reinterpret_cast<__m256i*>(dst + i);
    __m256i* out_high = reinterpret_cast<__m256i*>(dst + i + 32);
    _mm256_storeu_si256(out_low, _mm256_xor_si256(_mm256_loadu_si256(out_low), low));
    _mm256_storeu_si256(out_high, _mm256_xor_si256(_mm256_loadu_si256(out_high), high));
  }
  mul_acc_portable(dst + i, src + i, t, bytes - i);
}


}  // namespace vantorelle::par2::gf16
#endif
