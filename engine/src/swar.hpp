// swar.hpp - eight characters at a time in one plain 64-bit word, for the portable kernels.
//
// A word holds its first character in the low byte whatever the byte order;
// marks are the high bit of each byte that matches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantorelle::swar {

inline constexpr std::uint64_t kHighBits = 0x8080808080808080u;
inline constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7Fu;

// Every byte of the word set to c.
constexpr std::uint64_t repeat(unsigned char c) { return 0x0101010101010101u * c; }

inline std::uint64_t load(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap64(w);
#endif
  return w;
}

inline void store(void* p, std::uint64_t w) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap64(w);
#endif
  std::memcpy(p, &w, sizeof w);
}

// Marks the bytes that are zero, and no others: no carry crosses a byte, so a
// zero byte never marks its neighbour.
inline std::uint64_t zero_bytes(std::uint64_t w) {
  return ~(((w & kLowBits) + kLowBits) | w | kLowBits);
}

// Marks the first zero byte, and perhaps bytes after it (a borrow runs on
// from a zero byte), never one before: cheaper where only the first counts.
inline std::uint64_t first_zero_byte(std::uint64_t w) {
  return (w - repeat(1)) & ~w & kHighBits;
}

// Marks the first byte equal to c, and perhaps bytes after it, never one before.
inline std::uint64_t first_byte_equal(std::uint64_t w, unsigned char c) {
  return first_zero_byte(w ^ repeat(c));
}

// Marks the bytes equal to c.
inline std::uint64_t bytes_equal(std::uint64_t w, unsigned char c) {
  return zero_bytes(w ^ repeat(c));
}

// The index of the first marked byte (marks not zero).
inline std::size_t first_marked(std::uint64_t marks) {
  return static_cast<std::size_t>(__builtin_ctzll(marks)) / 8;
}

// All bits of bytes 0 .. n-1 (n at most 8).
inline std::uint64_t first_bytes(std::size_t n) {
  return n >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * n)) - 1u;
}

// Every byte less c (below 128), modulo 256: the high bits are set first so
// that no byte borrows from the next, then put right.
inline std::uint64_t minus(std::uint64_t w, unsigned char c) {
  return ((w | kHighBits) - repeat(c)) ^ (~w & kHighBits);
}

}  // namespace vantorelle::swar
