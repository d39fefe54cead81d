// empty_lines.cpp - where the first empty line after a position lies, remembered per input file.
#include "empty_lines.hpp"

namespace vantorelle {
namespace {

// Indexes of files seen lately; a handful of files is what one run holds at
// a time, so the table is simply emptied when it grows large.
constexpr std::size_t kMaxFiles = 256;

}  // namespace

std::optional<std::uint64_t> EmptyLineIndex::known(std::uint64_t from) const {
  auto it = answers_.upper_bound(from);
  if (it == answers_.begin()) return std::nullopt;
  --it;
  if (it->second == kNone || from < it->second) return it->second;
  return std::nullopt;
}

std::uint64_t EmptyLineIndex::read_forward(InputFile& input, std::uint64_t from) {
  input.seek(from);
  auto next = answers_.upper_bound(from);
  for (;;) {
    const std::uint64_t line_start = input.position();
    while (next != answers_.end() && next->first < line_start) ++next;
    if (next != answers_.end() && next->first == line_start) {
      // From here on the answer is known; its entry is taken over.
      const std::uint64_t answer = next->second;
      answers_.erase(next);
      return answer;
    }
    const std::string_view line = input.read_line();
    if (input.eof()) return kNone;
    if (line.empty()) return input.position();
  }
}

std::optional<std::uint64_t> EmptyLineIndex::skip_to_empty_line(InputFile& input,
                                                                std::uint64_t from) {
  std::optional<std::uint64_t> answer = known(from);
  if (!answer) {
    answer = read_forward(input, from);
    answers_[from] = *answer;
  }
  if (*answer == kNone) {
    // As reading to the end would leave it: at the end, with the end met.
    input.seek(input.identity().size);
    input.read_line();
    return std::nullopt;
  }
  input.seek(*answer);
  return *answer;
}

EmptyLineIndex& EmptyLineIndexFor(const InputFile& input) {
  static std::map<InputFile::Identity, EmptyLineIndex> indexes;
  if (indexes.size() >= kMaxFiles && indexes.find(input.identity()) == indexes.end()) {
    indexes.clear();
  }
  return indexes[input.identity()];
}

}  // namespace vantorelle
