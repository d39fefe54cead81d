// part_lines.cpp - the input line each decoded part started at, for a damage report.
#include "part_lines.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <map>
#include <string>

namespace vantorelle::app {
namespace {

// The line (from 1) that starts at each asked-for offset of one input,
// counted as the decoder counts: CR, LF and CR LF each end one line.
std::map<std::uint64_t, std::uint64_t> LinesAt(const std::string& path, std::vector<std::uint64_t> offsets) {
  std::map<std::uint64_t, std::uint64_t> lines;
  std::sort(offsets.begin(), offsets.end());
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return lines;
  std::array<char, 64 * 1024> chunk{};
  std::uint64_t position = 0;
  std::uint64_t breaks = 0;
  bool after_cr = false;
  std::size_t next = 0;
  while (next < offsets.size()) {
    ssize_t n;
    do {
      n = ::read(fd, chunk.data(), chunk.size());
    } while (n < 0 && errno == EINTR);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n && next < offsets.size(); ++i, ++position) {
      while (next < offsets.size() && offsets[next] == position) lines[offsets[next++]] = breaks + 1;
      const char c = chunk[static_cast<std::size_t>(i)];
      if (c == '\r' || (c == '\n' && !after_cr)) ++breaks;
      after_cr = c == '\r';
    }
  }
  for (; next < offsets.size(); ++next) lines[offsets[next]] = breaks + 1;
  ::close(fd);
  return lines;
}

}  // namespace

void CountPartLines(std::vector<OutputResult>& outputs) {
  std::map<std::string, std::vector<std::uint64_t>> wanted;
  for (const OutputResult& output : outputs) {
    for (const PartOutcome& part : output.parts.parts) wanted[part.source_path].push_back(part.source_offset);
  }
  std::map<std::string, std::map<std::uint64_t, std::uint64_t>> lines;
  for (auto& [path, offsets] : wanted) lines[path] = LinesAt(path, std::move(offsets));
  for (OutputResult& output : outputs) {
    for (PartOutcome& part : output.parts.parts) {
      const auto& of_input = lines[part.source_path];
      if (const auto line = of_input.find(part.source_offset); line != of_input.end()) part.source_line = line->second;
    }
  }
}

}  // namespace vantorelle::app
