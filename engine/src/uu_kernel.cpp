// uu_kernel.cpp - decoding runs of full uuencoded data lines: the plain version and dispatch.
#include "uu_kernel.hpp"

#include <cstdint>

#include "cpu_features.hpp"
#include "prefetch.hpp"
#include "swar.hpp"

namespace vantorelle {
namespace {

constexpr std::size_t kFullLength = 61;

using Kernel = DecodedLines (*)(const char*, std::size_t, unsigned char*, std::size_t);

Kernel choose_kernel() {
#if defined(__x86_64__)
  if (cpu_features().avx512_vbmi2) return &uu_decode_full_lines_avx512;
  if (cpu_features().avx2) return &uu_decode_full_lines_avx2;
#endif
  return &uu_decode_full_lines_plain;
}

// The first CR, LF or NUL among the 64 characters from line[0], or 64.
std::size_t first_line_end(const char* line) {
  for (std::size_t at = 0; at < 64; at += 8) {
    const std::uint64_t word = swar::load(line + at);
    const std::uint64_t marks = swar::first_byte_equal(word, '\r') |
                                swar::first_byte_equal(word, '\n') | swar::first_zero_byte(word);
    if (marks != 0) return at + swar::first_marked(marks);
  }
  return 64;
}

// Marks the bytes outside the alphabet, ' ' to '`'.
std::uint64_t outside_alphabet(std::uint64_t w) {
  const std::uint64_t low = (w & swar::kLowBits) | swar::kHighBits;
  const std::uint64_t below = ~(low - swar::repeat(' ')) & swar::kHighBits;
  const std::uint64_t above = (low - swar::repeat('`' + 1)) & swar::kHighBits;
  return (w & swar::kHighBits) | below | above;
}

// Whether the 60 characters from line[1] are all in the alphabet.
bool data_in_alphabet(const char* line) {
  std::uint64_t marks = 0;
  for (std::size_t at = 1; at < 57; at += 8) marks |= outside_alphabet(swar::load(line + at));
  return (marks | outside_alphabet(swar::load(line + 53))) == 0;
}

// Eight characters (two groups of four) to their six bytes, in the low six
// bytes of the result in output order.
std::uint64_t decode_two_groups(std::uint64_t chars) {
  constexpr std::uint64_t kByteLanes = 0x00FF00FF00FF00FFu;
  constexpr std::uint64_t kPairLanes = 0x0000FFFF0000FFFFu;
  const std::uint64_t values = swar::minus(chars, 32) & swar::repeat(63);
  // Pairs of values to 12 bits, then pairs of those to 24 bits per group.
  const std::uint64_t twelve = ((values & kByteLanes) << 6) | ((values >> 8) & kByteLanes);
  const std::uint64_t groups = ((twelve & kPairLanes) << 12) | ((twelve >> 16) & kPairLanes);
  // Each group's three bytes come most significant first.
  const std::uint64_t swapped = __builtin_bswap64(groups);
  return (swapped >> 40) | ((swapped & 0xFFFFFF00u) << 16);
}

}  // namespace

DecodedLines uu_decode_full_lines_plain(const char* src, std::size_t limit, unsigned char* dst,
                                        std::size_t dst_size) {
  DecodedLines done;
  while (dst_size - done.produced >= kUuLineRoom) {
    const char* line = src + done.consumed;
    prefetch_input(line);
    if (done.consumed + kFullLength >= limit || line[0] != 'M') break;
    if (first_line_end(line) != kFullLength || line[kFullLength] == '\0') break;
    if (!data_in_alphabet(line)) break;
    std::size_t next = kFullLength + 1;
    if (line[kFullLength] == '\r' && line[next] == '\n') ++next;
    if (done.consumed + next >= limit) break;

    // Fifteen groups: seven pairs stored eight bytes at a time (two bytes of
    // overhang), then the last group.
    unsigned char* out = dst + done.produced;
    for (std::size_t at = 1; at < 57; at += 8, out += 6) {
      swar::store(out, decode_two_groups(swar::load(line + at)));
    }
    swar::store(out, decode_two_groups(swar::load(line + 57)));
    done.produced += kUuFullLineBytes;
    done.consumed += next;
  }
  return done;
}

DecodedLines uu_decode_full_lines(const char* src, std::size_t limit, unsigned char* dst,
                                  std::size_t dst_size) {
  static const Kernel kernel = choose_kernel();
  return kernel(src, limit, dst, dst_size);
}

}  // namespace vantorelle
