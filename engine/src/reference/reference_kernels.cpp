// reference_kernels.cpp - the block kernels byte by byte, the obvious way, to check every faster version against.
#include "reference.hpp"

namespace vantorelle::reference {
namespace {

bool is_break(char c) { return c == '\r' || c == '\n'; }

bool starts_scanned_prefix(char c) { return c == 'S' || c == 'b' || c == '='; }

}  // namespace

const char* find_line_break(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (is_break(data[i])) return data + i;
  }
  return nullptr;
}

SkippedLines skip_plain_lines(const char* data, std::size_t size) {
  SkippedLines done;
  std::size_t at = 0;
  while (at < size && !starts_scanned_prefix(data[at])) {
    std::size_t brk = at;
    while (brk < size && !is_break(data[brk])) ++brk;
    std::size_t next = brk + 1;
    if (brk < size && data[brk] == '\r' && next < size && data[next] == '\n') ++next;
    if (next >= size) break;
    at = next;
    done.consumed = at;
    ++done.lines;
  }
  return done;
}

DecodedLines yenc_decode_lines(const char* src, std::size_t size, unsigned char* dst,
                               std::size_t dst_size) {
  DecodedLines done;
  while (dst_size - done.produced >= kYencLineRoom) {
    const std::size_t start = done.consumed;
    if (start + 1 >= size || (src[start] == '=' && src[start + 1] == 'y')) break;
    std::size_t brk = start;
    while (brk < size && !is_break(src[brk]) && src[brk] != '\0') ++brk;
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

}  // namespace vantorelle::reference
