// empty_lines.hpp - where the first empty line after a position lies, remembered per input file.
//
// The uuencode decoder skips an article's header block up to the first empty
// line, with no regard for where its segment ends. A file holding many
// segments without empty lines would have each of them read on to the end of
// the file, which makes a run quadratic. The answers are remembered per file,
// so every line is read at most once however many segments ask.
//
// An empty line is one whose text, as the line reader gives it, is empty: a
// line break right at its start, or a NUL there (the text ends at a NUL),
// also on a last line without its break.
#pragma once

#include <cstdint>
#include <map>
#include <optional>

#include "input_file.hpp"

namespace vantorelle {

class EmptyLineIndex {
 public:
  // Reads from `from`, which must be where some line read left the input,
  // line by line to the first empty line, and returns the position after it;
  // nothing when the input ends first. Afterwards the input stands where
  // reading those lines one by one leaves it (after the empty line, or at the
  // end with the end-of-file state). Lines read for an earlier answer are not
  // read again.
  std::optional<std::uint64_t> skip_to_empty_line(InputFile& input, std::uint64_t from);

 private:
  static constexpr std::uint64_t kNone = UINT64_MAX;
  // Line start -> the position after the first empty line from there (kNone:
  // there is none). Every line start between a key and its answer shares it.
  std::map<std::uint64_t, std::uint64_t> answers_;
  std::optional<std::uint64_t> known(std::uint64_t from) const;
  std::uint64_t read_forward(InputFile& input, std::uint64_t from);
};

// The index of the file the input reads, shared by every InputFile opened on
// that file (same device, inode, size and modification time) in this process.
EmptyLineIndex& EmptyLineIndexFor(const InputFile& input);

}  // namespace vantorelle
