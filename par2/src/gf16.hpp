// gf16.hpp - arithmetic in GF(2^16) as PAR2 2.0 uses it, and the multiply-accumulate over blocks.
//
// The field is GF(2)[x] modulo x^16 + x^12 + x^3 + x + 1 (0x1100B); 2 is a
// generator of its multiplicative group of order 65535. Input block i of a
// set is given the constant 2^n, n the i-th exponent (counting from 1) with
// gcd(n, 65535) = 1, i.e. not divisible by 3, 5, 17 or 257: there are 32768 of
// them. Recovery block e is the sum over i of constant_i^e times block i,
// blocks read as little-endian 16-bit words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantorelle::par2::gf16 {

std::uint16_t mul(std::uint16_t a, std::uint16_t b);
std::uint16_t div(std::uint16_t a, std::uint16_t b);  // b != 0
std::uint16_t pow(std::uint16_t a, std::uint32_t exponent);
// The constant of input block `index` (< kMaxInputBlocks).
std::uint16_t input_constant(std::uint32_t index);

// The products of one factor with every low byte and every high byte of a
// word: factor * w = low[w & 0xFF] ^ high[w >> 8]. `nibbles` holds the same
// per nibble of the word, as the AVX2 kernel looks them up: for nibble n
// (0 lowest) the low result bytes in row 2n and the high ones in row 2n + 1.
struct MulTable {
  std::array<std::uint16_t, 256> low{}, high{};
  alignas(16) std::array<std::array<std::uint8_t, 16>, 8> nibbles{};
};
MulTable make_table(std::uint16_t factor);

// dst[w] ^= factor * src[w] over `bytes` bytes (even) of little-endian words:
// the kernel, over the factor's table (built once, used for many blocks).
// Chooses the AVX2 kernel when the processor has it (see cpu_features.hpp).
void mul_acc(unsigned char* dst, const unsigned char* src, const MulTable& table, std::size_t bytes);
void mul_acc(unsigned char* dst, const unsigned char* src, std::uint16_t factor, std::size_t bytes);

// The kernel for blocks worked on many times, as the repairer uses it: data
// goes into the kernel's own layout once (`enter`), is multiplied there, and
// comes back (`leave`); the portable kernel's layout is the plain one.
struct BlockKernel {
  void (*enter)(unsigned char* data, std::size_t bytes);
  void (*leave)(unsigned char* data, std::size_t bytes);
  void (*mul_acc)(unsigned char* dst, const unsigned char* src, const MulTable& table, std::size_t bytes);
};
const BlockKernel& block_kernel();

// The kernels themselves, exposed for tests: plain C++ (four words per
// step), and on x86-64 AVX2 (needs cpu_features().avx2).
void mul_acc_portable(unsigned char* dst, const unsigned char* src, const MulTable& table,
                      std::size_t bytes);
#if defined(__x86_64__)
void mul_acc_avx2(unsigned char* dst, const unsigned char* src, const MulTable& table,
                  std::size_t bytes);
// The AVX2 kernel over words kept split: in every whole 64-byte step the low
// bytes of its 32 words first, then their high bytes (a tail of under 64
// bytes stays as it is). Blocks worked on many times are split once, which
// spares the kernel its own splitting and joining at every step.
void split_words_avx2(unsigned char* data, std::size_t bytes);
void join_words_avx2(unsigned char* data, std::size_t bytes);
void mul_acc_split_avx2(unsigned char* dst, const unsigned char* src, const MulTable& table,
                        std::size_t bytes);
#endif
// The same by shift-and-add per word, no tables: the plain reference for tests.
void mul_acc_reference(unsigned char* dst, const unsigned char* src, std::uint16_t factor,
                       std::size_t bytes);

}  // namespace vantorelle::par2::gf16
