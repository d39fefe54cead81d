// gf16.cpp - arithmetic in GF(2^16) as PAR2 2.0 uses it, and the multiply-accumulate over blocks.
#include "gf16.hpp"

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "cpu_features.hpp"
#include "vantorelle/par2.hpp"

static_assert(std::endian::native == std::endian::little,
              "the kernel reads PAR2's little-endian words natively");

namespace vantorelle::par2::gf16 {
namespace {

constexpr std::uint32_t kPolynomial = 0x1100B;
constexpr std::uint32_t kOrder = 65535;

struct Tables {
  std::vector<std::uint16_t> log = std::vector<std::uint16_t>(65536);
  std::vector<std::uint16_t> exp = std::vector<std::uint16_t>(2 * kOrder);
  std::vector<std::uint16_t> constants;

  Tables() {
    std::uint32_t v = 1;
    for (std::uint32_t i = 0; i < kOrder; ++i) {
      exp[i] = exp[i + kOrder] = static_cast<std::uint16_t>(v);
      log[v] = static_cast<std::uint16_t>(i);
      v <<= 1;
      if (v & 0x10000u) v ^= kPolynomial;
    }
    constants.reserve(kMaxInputBlocks);
    for (std::uint32_t n = 1; n < kOrder && constants.size() < kMaxInputBlocks; ++n)
      if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0) constants.push_back(exp[n]);
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

}  // namespace

std::uint16_t mul(std::uint16_t a, std::uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + t.log[b]];
}

std::uint16_t div(std::uint16_t a, std::uint16_t b) {
  if (a == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + kOrder - t.log[b]];
}

std::uint16_t pow(std::uint16_t a, std::uint32_t exponent) {
  if (exponent == 0) return 1;
  if (a == 0) return 0;
  const Tables& t = tables();
  const std::uint64_t e = (static_cast<std::uint64_t>(t.log[a]) * exponent) % kOrder;
  return t.exp[e];
}

std::uint16_t input_constant(std::uint32_t index) { return tables().constants.at(index); }

MulTable make_table(std::uint16_t factor) {
  // Products are linear in the word: each entry is the one without its lowest
  // set bit plus the product with that bit, so only 16 multiplications are needed.
  MulTable t;
  for (unsigned bit = 0; bit < 8; ++bit) {
    t.low[1u << bit] = mul(factor, static_cast<std::uint16_t>(1u << bit));
    t.high[1u << bit] = mul(factor, static_cast<std::uint16_t>(1u << (bit + 8)));
  }
  for (unsigned b = 3; b < 256; ++b) {
    const unsigned lowest = b & (0u - b);
    if (lowest == b) continue;
    t.low[b] = t.low[b ^ lowest] ^ t.low[lowest];
    t.high[b] = t.high[b ^ lowest] ^ t.high[lowest];
  }
  for (unsigned n = 0; n < 16; ++n) {
    const std::uint16_t products[4] = {t.low[n], t.low[n << 4], t.high[n], t.high[n << 4]};
    for (unsigned p = 0; p < 4; ++p) {
      t.nibbles[2 * p][n] = static_cast<std::uint8_t>(products[p]);
      t.nibbles[2 * p + 1][n] = static_cast<std::uint8_t>(products[p] >> 8);
    }
  }
  return t;
}

void mul_acc_portable(unsigned char* dst, const unsigned char* src, const MulTable& t,
                      std::size_t bytes) {
  std::size_t i = 0;
  // Four words per step through 64-bit loads (the words are little-endian, as is the host).
  for (; i + 8 <= bytes; i += 8) {
    std::uint64_t s, d;
    std::memcpy(&s, src + i, 8);
    std::memcpy(&d, dst + i, 8);
    std::uint64_t p = 0;
    for (unsigned w = 0; w < 4; ++w) {
      const unsigned shift = 16 * w;
      p |= static_cast<std::uint64_t>(t.low[(s >> shift) & 0xFF] ^ t.high[(s >> (shift + 8)) & 0xFF]) << shift;
    }
    d ^= p;
    std::memcpy(dst + i, &d, 8);
  }
  for (; i + 1 < bytes; i += 2) {
    const std::uint16_t p = t.low[src[i]] ^ t.high[src[i + 1]];
    dst[i] ^= static_cast<unsigned char>(p);
    dst[i + 1] ^= static_cast<unsigned char>(p >> 8);
  }
}

void mul_acc(unsigned char* dst, const unsigned char* src, const MulTable& t, std::size_t bytes) {
  using Kernel = void (*)(unsigned char*, const unsigned char*, const MulTable&, std::size_t);
#if defined(__x86_64__)
  static const Kernel kernel = cpu_features().avx2 ? mul_acc_avx2 : mul_acc_portable;
#else
  static const Kernel kernel = mul_acc_portable;
#endif
  kernel(dst, src, t, bytes);
}

const BlockKernel& block_kernel() {
  static constexpr auto plain = [](unsigned char*, std::size_t) {};
  static const BlockKernel portable{plain, plain, mul_acc_portable};
#if defined(__x86_64__)
  static const BlockKernel split{split_words_avx2, join_words_avx2, mul_acc_split_avx2};
  static const BlockKernel& kernel = cpu_features().avx2 ? split : portable;
  return kernel;
#else
  return portable;
#endif
}

void mul_acc(unsigned char* dst, const unsigned char* src, std::uint16_t factor, std::size_t bytes) {
  if (factor != 0) mul_acc(dst, src, make_table(factor), bytes);
}

void mul_acc_reference(unsigned char* dst, const unsigned char* src, std::uint16_t factor,
                       std::size_t bytes) {
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    const auto w = static_cast<std::uint16_t>(src[i] | (src[i + 1] << 8));
    // Bit by bit: shift-and-add modulo the polynomial, no tables at all.
    std::uint32_t a = w, b = factor, p = 0;
    while (b) {
      if (b & 1u) p ^= a;
      b >>= 1;
      a <<= 1;
      if (a & 0x10000u) a ^= kPolynomial;
    }
    dst[i] ^= static_cast<unsigned char>(p);
    dst[i + 1] ^= static_cast<unsigned char>(p >> 8);
  }
}

}  // namespace vantorelle::par2::gf16
