// decoder_harness.hpp - runs one segment decoder over a file made from lines.
#pragma once

#include <optional>

#include "decoders.hpp"
#include "test_support.hpp"

namespace vantorelle::test {

struct DecodeOutcome {
  int result;
  std::string output;
  std::vector<Message> messages;
};

// Writes text to a file and decodes it from start to end (the file size when
// not given) with the chosen decoder. Messages name the input as 'in'.
template <typename Decode>
DecodeOutcome run_decoder(const std::string& text, Decode decode,
                          std::optional<std::uint64_t> end = std::nullopt,
                          std::uint64_t start = 0) {
  TempDir dir;
  HookRecorder hooks;
  write_file(dir.file("in"), text);
  auto input = InputFile::open(dir.file("in"));
  DecodeOutcome outcome{};
  {
    auto output = OutputFile::create(dir.file("out"));
    outcome.result = decode(*input, *output, start, end.value_or(text.size()));
    output->close();
  }
  outcome.output = read_file(dir.file("out"));
  outcome.messages = hooks.messages;
  for (auto& m : outcome.messages) {
    const std::string path = dir.file("in");
    for (std::size_t at; (at = m.text.find(path)) != std::string::npos;) m.text.replace(at, path.size(), "in");
  }
  return outcome;
}

}  // namespace vantorelle::test
