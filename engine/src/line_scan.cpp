// line_scan.cpp - finding line breaks and skipping uninteresting lines: plain versions and dispatch.
#include "line_scan.hpp"

#include <cstdint>

#include "cpu_features.hpp"
#include "swar.hpp"

namespace vantorelle {
namespace {

bool is_break(char c) { return c == '\r' || c == '\n'; }

using FindBreak = const char* (*)(const char*, std::size_t);
using SkipLines = SkippedLines (*)(const char*, std::size_t);

FindBreak choose_find_break() {
#if defined(__x86_64__)
  if (cpu_features().avx2) return &find_line_break_avx2;
#endif
  return &find_line_break_plain;
}

SkipLines choose_skip_lines() {
#if defined(__x86_64__)
  if (cpu_features().avx512_vbmi2) return &skip_plain_lines_avx512;
  if (cpu_features().avx2) return &skip_plain_lines_avx2;
#endif
  return &skip_plain_lines_plain;
}

// Marks the first CR or LF exactly (later bytes perhaps too): only the first is used.
std::uint64_t break_marks(std::uint64_t word) {
  return swar::first_byte_equal(word, '\r') | swar::first_byte_equal(word, '\n');
}

}  // namespace

const char* find_line_break_plain(const char* data, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    if (const std::uint64_t marks = break_marks(swar::load(data + i)); marks != 0) {
      return data + i + swar::first_marked(marks);
    }
  }
  for (; i < size; ++i) {
    if (is_break(data[i])) return data + i;
  }
  return nullptr;
}

SkippedLines skip_plain_lines_plain(const char* data, std::size_t size) {
  SkippedLines done;
  std::size_t at = 0;
  while (at < size && !starts_scanned_prefix(data[at])) {
    // Eight at a time: the padding after the block may be read, never counted.
    std::size_t brk = at;
    std::uint64_t marks = 0;
    while (brk < size && (marks = break_marks(swar::load(data + brk))) == 0) brk += 8;
    if (brk < size) brk += swar::first_marked(marks);
    std::size_t next = brk + 1;
    if (brk < size && data[brk] == '\r' && next < size && data[next] == '\n') ++next;
    // The break's last byte must come before the block's last byte.
    if (next >= size) break;
    at = next;
    done.consumed = at;
    ++done.lines;
  }
  return done;
}

const char* find_line_break(const char* data, std::size_t size) {
  static const FindBreak kernel = choose_find_break();
  return kernel(data, size);
}

SkippedLines skip_plain_lines(const char* data, std::size_t size) {
  static const SkipLines kernel = choose_skip_lines();
  return kernel(data, size);
}

}  // namespace vantorelle
