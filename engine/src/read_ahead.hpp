// read_ahead.hpp - the input bytes of the parts to come, read on the worker while one is decoded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "input_file.hpp"
#include "io_worker.hpp"

namespace vantorelle {

class ReadAhead final : public InputFile::BlockSource {
 public:
  // A part's range of an input file, [begin, end).
  struct Span {
    std::string path;
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
  };
  // Blocks (of InputFile::kDefaultBufferSize bytes) read or waiting to be: 2 MiB.
  static constexpr std::size_t kAhead = 8;

  // Starts reading the spans, in their order.
  ReadAhead(IoWorker& worker, std::vector<Span> spans);
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  // What the worker has not begun is dropped; it never waits for the worker.
  ~ReadAhead();

  // Decoding has come to the span with this index: the blocks of those
  // before it are dropped.
  void reach(std::size_t span);

  // A block not yet begun is left to the caller to read (so the two threads
  // share the reading when the worker falls behind); one being read is
  // waited for.
  std::size_t take(const std::string& path, const InputFile::Identity& identity, std::uint64_t position,
                   std::unique_ptr<char[]>& buffer) override;

 private:
  struct Block;
  struct State;
  void schedule();

  IoWorker& worker_;
  std::shared_ptr<State> state_;
};

}  // namespace vantorelle
