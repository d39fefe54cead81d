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
#include "swar.hpp"

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
  if (cpu_features().vpclmul256) return &crc_update_vpclmul256;
  if (cpu_features().pclmul) return &crc_update_pclmul;
#endif
  return &crc_update_portable;
}

// The register after sixteen bytes, each looked up in its own table. All in
// one expression over two 64-bit loads: the compiler keeps it in registers
// at any optimisation level.
inline std::uint32_t slice_16(const SliceTables& t, std::uint32_t reg, const unsigned char* data) {
  const std::uint64_t a = swar::load(data) ^ reg;
  const std::uint64_t b = swar::load(data + 8);
  return t[15][a & 0xFFu] ^ t[14][(a >> 8) & 0xFFu] ^ t[13][(a >> 16) & 0xFFu] ^
         t[12][(a >> 24) & 0xFFu] ^ t[11][(a >> 32) & 0xFFu] ^ t[10][(a >> 40) & 0xFFu] ^
         t[9][(a >> 48) & 0xFFu] ^ t[8][a >> 56] ^ t[7][b & 0xFFu] ^ t[6][(b >> 8) & 0xFFu] ^
         t[5][(b >> 16) & 0xFFu] ^ t[4][(b >> 24) & 0xFFu] ^ t[3][(b >> 32) & 0xFFu] ^
         t[2][(b >> 40) & 0xFFu] ^ t[1][(b >> 48) & 0xFFu] ^ t[0][b >> 56];
}

}  // namespace

std::uint32_t crc_update_portable(std::uint32_t reg, const unsigned char* data, std::size_t size) {
  const SliceTables& t = slice_tables();
  // Each step waits for the last one's look-ups, so a large block runs as two
  // halves side by side, joined by shifting the first over the second.
  constexpr std::size_t kTwoLanesFrom = 2048;
  if (size >= kTwoLanesFrom) {
    const std::size_t lane = size / 2 & ~std::size_t{15};
    std::uint32_t first = reg;
    std::uint32_t second = 0;
    for (std::size_t at = 0; at < lane; at += 16) {
      first = slice_16(t, first, data + at);
      second = slice_16(t, second, data + lane + at);
    }
    reg = crc_shift(first, lane) ^ second;
    data += 2 * lane;
    size -= 2 * lane;
  }
  for (; size >= 16; data += 16, size -= 16) reg = slice_16(t, reg, data);
  crcadd_block(&reg, data, size);
  return reg;
}

// With a vector carry-less multiply the CRC costs the decoding thread little
// while the bytes are still in its cache, and the worker, which writes, is
// the slower side: on an Intel Xeon with AVX-512 the run 10% shorter than
// with the CRC on the worker, on an AMD EPYC 3 to 7% at AVX2 and the same
// at AVX-512.
bool crc_cheapest_where_written() { return cpu_features().vpclmul256; }

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
