// fuzz_uu_decoder.cpp - fuzz target: the uuencode segment decoder on any segment of any text.
#include <fuzzer/FuzzedDataProvider.h>

#include "decoders.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle;
  FuzzedDataProvider params(data, size);
  const bool last = params.ConsumeBool();
  const bool from_middle = params.ConsumeBool();
  const auto start_at = params.ConsumeIntegral<std::uint32_t>();
  const bool to_end = params.ConsumeBool();
  const auto end_at = params.ConsumeIntegral<std::uint32_t>();
  const std::size_t in_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::size_t out_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::string text = params.ConsumeRemainingBytesAsString();

  const std::uint64_t start = from_middle && !text.empty() ? start_at % text.size() : 0;
  const std::uint64_t end = to_end ? text.size() : end_at % (text.size() + 2);

  fuzz::MessageLog log;
  fuzz::MemFile in_file(text);
  fuzz::MemFile out_file;
  auto input = InputFile::open(in_file.path(), in_buffer);
  fuzz::check(input.has_value(), "input opens");
  int result;
  {
    auto output = OutputFile::create(out_file.path(), out_buffer);
    fuzz::check(output.has_value(), "output opens");
    result = DecodeUU(*input, *output, start, end, last ? 2 : 1, 2);
    fuzz::check(output->close(), "output closes");
  }
  fuzz::check(result == kDecodeOk || result == kDecodeEarlyEof, "uuencode result");
  // At most 63 bytes come from each line, and a line takes at least one byte.
  fuzz::check(out_file.contents().size() <= 63 * (text.size() + 1), "output larger than possible");
  return 0;
}
