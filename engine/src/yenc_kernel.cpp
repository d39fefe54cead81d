// yenc_kernel.cpp - decoding runs of ordinary yEnc data lines: the plain version and dispatch.
#include "yenc_kernel.hpp"

#include "cpu_features.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

using Kernel = DecodedLines (*)(const char*, std::size_t, unsigned char*, std::size_t);

Kernel choose_kernel() {
#if defined(__x86_64__)
  if (cpu_features().avx512_vbmi2) return &yenc_decode_lines_avx512;
  if (cpu_features().avx2) return &yenc_decode_lines_avx2;
#endif
  return &yenc_decode_lines_plain;
}

}  // namespace

DecodedLines yenc_decode_lines_plain(const char* src, std::size_t size, unsigned char* dst,
                                     std::size_t dst_size) {
  DecodedLines done;
  while (dst_size - done.produced >= kYencLineRoom) {
    const std::size_t start = done.consumed;
    if (start + 1 >= size || (src[start] == '=' && src[start + 1] == 'y')) break;
    std::size_t brk = start;
    while (brk < size && src[brk] != '\r' && src[brk] != '\n' && src[brk] != '\0') ++brk;
    if (brk >= size || src[brk] == '\0' || brk - start > kLineCapacity) break;
    std::size_t next = brk + 1;
    if (src[brk] == '\r' && next < size && src[next] == '\n') ++next;
    if (next >= size) break;

    unsigned char* out = dst + done.produced;
    for (std::size_t i = start; i < brk; ++i) {
      unsigned c = static_cast<unsigned char>(src[i]);
      if (c == '=') {
        if (++i == brk) break;
        c = static_cast<unsigned char>(src[i]) - 64u;
      }
      *out++ = static_cast<unsigned char>(c - 42u);
    }
    done.produced = static_cast<std::size_t>(out - dst);
    done.consumed = next;
  }
  return done;
}

DecodedLines yenc_decode_lines(const char* src, std::size_t size, unsigned char* dst,
                               std::size_t dst_size) {
  static const Kernel kernel = choose_kernel();
  return kernel(src, size, dst, dst_size);
}

}  // namespace vantorelle
