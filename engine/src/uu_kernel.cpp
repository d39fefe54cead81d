// uu_kernel.cpp - decoding runs of full uuencoded data lines: the plain version and dispatch.
#include "uu_kernel.hpp"

#include "cpu_features.hpp"

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

unsigned value_of(char c) { return (static_cast<unsigned char>(c) - 32u) & 63u; }

}  // namespace

DecodedLines uu_decode_full_lines_plain(const char* src, std::size_t limit, unsigned char* dst,
                                        std::size_t dst_size) {
  DecodedLines done;
  while (dst_size - done.produced >= kUuLineRoom) {
    const char* line = src + done.consumed;
    if (done.consumed + kFullLength >= limit || line[0] != 'M') break;
    std::size_t i = 1;
    while (i < kFullLength && line[i] != '\r' && line[i] != '\n' && line[i] != '\0') ++i;
    if (i < kFullLength || (line[i] != '\r' && line[i] != '\n')) break;
    std::size_t next = kFullLength + 1;
    if (line[kFullLength] == '\r' && line[next] == '\n') ++next;
    if (done.consumed + next >= limit) break;

    unsigned char* out = dst + done.produced;
    for (std::size_t at = 1; at < kFullLength; at += 4) {
      const unsigned w = value_of(line[at]), x = value_of(line[at + 1]);
      const unsigned y = value_of(line[at + 2]), z = value_of(line[at + 3]);
      *out++ = static_cast<unsigned char>(w * 4 + x / 16);
      *out++ = static_cast<unsigned char>((x & 15) * 16 + y / 4);
      *out++ = static_cast<unsigned char>((y & 3) * 64 + z);
    }
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
