// reference_kernels.cpp - the block kernels byte by byte, the obvious way, to check every faster version against.
#include "reference.hpp"

namespace vantorelle::reference {
namespace {

bool is_break(char c) { return c == '\r' || c == '\n'; }

bool starts_scanned_prefix(char c) { return c == 'S' || c == 'b' || c == '='; }

unsigned uu_value(char c) { return (static_cast<unsigned char>(c) - 32u) & 63u; }

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

DecodedLines uu_decode_full_lines(const char* src, std::size_t limit, unsigned char* dst,
                                  std::size_t dst_size) {
  constexpr std::size_t kFullLength = 61;
  DecodedLines done;
  while (dst_size - done.produced >= kUuLineRoom) {
    const char* line = src + done.consumed;
    if (done.consumed + kFullLength >= limit || line[0] != 'M') break;
    std::size_t i = 1;
    while (i < kFullLength && line[i] >= ' ' && line[i] <= '`') ++i;  // the alphabet only
    if (i < kFullLength || !is_break(line[i])) break;
    std::size_t next = kFullLength + 1;
    if (line[kFullLength] == '\r' && line[next] == '\n') ++next;
    if (done.consumed + next >= limit) break;

    unsigned char* out = dst + done.produced;
    for (std::size_t at = 1; at < kFullLength; at += 4) {
      const unsigned w = uu_value(line[at]), x = uu_value(line[at + 1]);
      const unsigned y = uu_value(line[at + 2]), z = uu_value(line[at + 3]);
      *out++ = static_cast<unsigned char>(w * 4 + x / 16);
      *out++ = static_cast<unsigned char>((x & 15) * 16 + y / 4);
      *out++ = static_cast<unsigned char>((y & 3) * 64 + z);
    }
    done.produced += kUuFullLineBytes;
    done.consumed += next;
  }
  return done;
}

}  // namespace vantorelle::reference
