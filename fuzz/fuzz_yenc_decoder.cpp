// fuzz_yenc_decoder.cpp - fuzz target: the yEnc segment decoder on any segment of any text.
//
// Every decoded byte comes from at least one input character, and the
// whole-file register must equal the CRC-32 of exactly the bytes written.
#include <fuzzer/FuzzedDataProvider.h>

#include "article_writer.hpp"
#include "decoders.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle;
  FuzzedDataProvider params(data, size);
  const bool from_middle = params.ConsumeBool();
  const auto start_at = params.ConsumeIntegral<std::uint32_t>();
  const bool to_end = params.ConsumeBool();
  const auto end_at = params.ConsumeIntegral<std::uint32_t>();
  const bool with_crc = params.ConsumeBool();
  const auto expected = params.ConsumeIntegral<std::uint32_t>();
  const std::size_t in_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::size_t out_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::string text = params.ConsumeRemainingBytesAsString();

  const std::uint64_t start = from_middle && !text.empty() ? start_at % text.size() : 0;
  const std::uint64_t end = to_end ? text.size() : end_at % (text.size() + 2);
  const std::uint32_t part_crc = with_crc ? expected : kNoCrc;

  fuzz::MessageLog log;
  fuzz::MemFile in_file(text);
  fuzz::MemFile out_file;
  auto input = InputFile::open(in_file.path(), in_buffer);
  fuzz::check(input.has_value(), "input opens");
  std::uint32_t file_crc = 0xFFFFFFFFu;
  int result;
  {
    auto output = OutputFile::create(out_file.path(), out_buffer);
    fuzz::check(output.has_value(), "output opens");
    result = DecodeyEnc(*input, *output, start, end, part_crc, &file_crc);
    fuzz::check(output->close(), "output closes");
  }
  const std::string written = out_file.contents();
  fuzz::check(result == kDecodeOk || (result == kDecodeCrcMismatch && with_crc), "yEnc result");
  fuzz::check(written.size() <= text.size(), "more bytes out than characters in");
  fuzz::check(~file_crc == test::crc32_of(written), "file register differs from the bytes written");
  return 0;
}
