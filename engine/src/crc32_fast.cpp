// crc32_fast.cpp - the CRC-32 register advanced over large blocks, and shifted over zeros.
//
// The portable kernel extends the stored table to sixteen tables (entry [k][i]
// is entry i advanced over k further zero bytes), so sixteen input bytes cost
// sixteen independent look-ups. Shifting over zeros multiplies the register by x^(8n)
// modulo the polynomial, with x^(2^k) kept for every k.
#include "crc32_fast.hpp"

#include <array>
#include <cstring>

#include "cpu_features.hpp"
#include "crc32.hpp"

namespace vantorelle {
namespace {

constexpr std::uint32_t kPolynomial = 0xEDB88320u;

using SliceTables = std::array<std::array<std::uint32_t, 256>, 16>;

SliceTables make_slice_tables() {
  SliceTables t{};
  t[0] = crc_tab;
  for (std::size_t k = 1; k < 16; ++k) {
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint32_t prev = t[k - 1][i];
      t[k][i] = (prev >> 8) ^ crc_tab[prev & 0xFFu];
    }
  }
  return t;
}

const SliceTables& slice_tables() {
  static const SliceTables tables = make_slice_tables();
  return tables;
}

// a * b modulo the polynomial, both in the reflected order (bit 31 is x^0).
std::uint32_t multiply_mod(std::uint32_t a, std::uint32_t b) {
  std::uint32_t product = 0;
  for (std::uint32_t m = 1u << 31; m != 0; m >>= 1) {
    if ((a & m) != 0) product ^= b;
    b = (b & 1u) != 0 ? (b >> 1) ^ kPolynomial : b >> 1;
  }
  return product;
}

// Entry k: x^(2^k) modulo the polynomial.
std::array<std::uint32_t, 64> make_power_table() {
  std::array<std::uint32_t, 64> t{};
  std::uint32_t p = 1u << 30;  // x^1
  for (auto& entry : t) {
    entry = p;
    p = multiply_mod(p, p);
  }
  return t;
}

using Kernel = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

Kernel choose_kernel() {
#if defined(__x86_64__)
  if (cpu_features().vpclmul) return &crc_update_vpclmul;
  if (cpu_features().pclmul) return &crc_update_pclmul;
#endif
  return &crc_update_portable;
}

}  // namespace

std::uint32_t crc_update_portable(std::uint32_t reg, const unsigned char* data, std::size_t size) {
  const SliceTables& t = slice_tables();
  auto byte = [](std::uint32_t w, unsigned k) { return (w >> (8 * k)) & 0xFFu; };
  while (size >= 16) {
    std::uint32_t w[4];
    std::memcpy(w, data, sizeof w);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (auto& x : w) x = __builtin_bswap32(x);
#endif
    w[0] ^= reg;
    reg = 0;
    for (unsigned i = 0; i < 4; ++i) {
      for (unsigned k = 0; k < 4; ++k) reg ^= t[15 - 4 * i - k][byte(w[i], k)];
    }
    data += 16;
    size -= 16;
  }
  crcadd_block(&reg, data, size);
  return reg;
}

std::uint32_t crc_update(std::uint32_t reg, const unsigned char* data, std::size_t size) {
  static const Kernel kernel = choose_kernel();
  return kernel(reg, data, size);
}

std::uint32_t crc_shift(std::uint32_t reg, std::uint64_t length) {
  static const std::array<std::uint32_t, 64> powers = make_power_table();
  // x^(8 * length) from the binary digits of length, starting at x^8 = x^(2^3).
  std::uint32_t factor = 1u << 31;  // x^0
  for (std::size_t k = 3; length != 0 && k < powers.size(); ++k, length >>= 1) {
    if ((length & 1u) != 0) factor = multiply_mod(powers[k], factor);
  }
  return multiply_mod(factor, reg);
}

}  // namespace vantorelle
