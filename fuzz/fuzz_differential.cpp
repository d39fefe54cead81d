// fuzz_differential.cpp - fuzz target: the fast scanner and decoders against the plain reference.
//
// The same input through both versions, read with the same buffer sizes, must
// give the same catalogue (scanner), or the same bytes, result, messages,
// input position and CRC register (decoders).
#include <fuzzer/FuzzedDataProvider.h>

#include <functional>
#include <memory>

#include "decoders.hpp"
#include "fuzz_support.hpp"
#include "reference.hpp"

namespace vantorelle::fuzz {
namespace {

struct Outcome {
  int result = 0;
  std::string output;
  std::vector<std::pair<int, std::string>> messages;
  std::uint64_t position = 0;
  bool eof = false;
  std::uint32_t file_crc = 0;
  bool operator==(const Outcome&) const = default;
};

using Decode = std::function<int(InputFile&, OutputFile&, std::uint32_t*)>;

Outcome run(const MemFile& in_file, std::size_t in_buffer, std::size_t out_buffer,
            const Decode& decode) {
  MessageLog log;
  MemFile out_file;
  Outcome o;
  auto input = InputFile::open(in_file.path(), in_buffer);
  check(input.has_value(), "input opens");
  {
    auto output = OutputFile::create(out_file.path(), out_buffer);
    check(output.has_value(), "output opens");
    o.file_crc = 0xFFFFFFFFu;
    o.result = decode(*input, *output, &o.file_crc);
    output->close();
  }
  o.output = out_file.contents();
  o.messages = log.messages;
  o.position = input->position();
  o.eof = input->eof();
  return o;
}

// `positions`: whether where the input stands afterwards counts (the
// uuencode decoders may leave it anywhere).
void compare(const MemFile& in_file, std::size_t in_buffer, std::size_t out_buffer,
             const Decode& fast, const Decode& plain, const char* what, bool positions = true) {
  Outcome a = run(in_file, in_buffer, out_buffer, fast);
  Outcome b = run(in_file, in_buffer, out_buffer, plain);
  if (!positions) {
    a.position = b.position = 0;
    a.eof = b.eof = false;
  }
  if (a == b) return;
  fail(std::string(what) + " differs from the reference: result " + std::to_string(a.result) +
       "/" + std::to_string(b.result) + ", bytes " + std::to_string(a.output.size()) + "/" +
       std::to_string(b.output.size()) + ", position " + std::to_string(a.position) + "/" +
       std::to_string(b.position) + ", messages " + std::to_string(a.messages.size()) + "/" +
       std::to_string(b.messages.size()));
}

void compare_scanners(const std::string& text) {
  std::vector<std::unique_ptr<MemFile>> files;
  for (std::string_view piece : split_files(text, 3)) files.push_back(std::make_unique<MemFile>(piece));
  std::string catalogues[2];
  std::size_t polls[2] = {0, 0};
  for (int version = 0; version < 2; ++version) {
    MessageLog log;
    // A clock that never moves and a zero interval make every poll reach the
    // hook, so both scanners must poll exactly as often.
    dispatch::SetClockForTesting([] { return std::time_t{1000}; });
    uuSetBusyCallback(
        [&polls, version](int type, int, std::string_view, int) {
          polls[version] += type == kBusyPoll;
          return 0;
        },
        0);
    Catalogue catalogue;
    for (const auto& file : files) {
      if (version == 0) {
        uuScanFile(catalogue, file->path());
      } else {
        reference::ScanFile(catalogue, file->path());
      }
    }
    catalogues[version] = describe(catalogue);
    uuSetBusyCallback({}, 10);
    dispatch::SetClockForTesting({});
  }
  check(catalogues[0] == catalogues[1], "scanner differs from the reference");
  check(polls[0] == polls[1], "scanner polls differ from the reference");
}

}  // namespace
}  // namespace vantorelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle;
  FuzzedDataProvider params(data, size);
  const int what = params.ConsumeIntegralInRange(0, 2);
  const bool from_middle = params.ConsumeBool();
  const auto start_at = params.ConsumeIntegral<std::uint32_t>();
  const bool to_end = params.ConsumeBool();
  const auto end_at = params.ConsumeIntegral<std::uint32_t>();
  const bool flag = params.ConsumeBool();
  const auto expected = params.ConsumeIntegral<std::uint32_t>();
  const std::size_t in_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::size_t out_buffer = params.ConsumeIntegralInRange<std::size_t>(1, 70000);
  const std::string text = params.ConsumeRemainingBytesAsString();

  if (what == 0) {
    fuzz::compare_scanners(text);
    return 0;
  }
  const std::uint64_t start = from_middle && !text.empty() ? start_at % text.size() : 0;
  const std::uint64_t end = to_end ? text.size() : end_at % (text.size() + 2);
  const fuzz::MemFile in_file(text);
  if (what == 1) {
    const std::int16_t part = flag ? 2 : 1;
    fuzz::compare(
        in_file, in_buffer, out_buffer,
        [&](InputFile& in, OutputFile& out, std::uint32_t*) {
          return DecodeUU(in, out, start, end, part, 2);
        },
        [&](InputFile& in, OutputFile& out, std::uint32_t*) {
          return reference::DecodeUU(in, out, start, end, part, 2);
        },
        "uuencode decoder", false);
  } else {
    const std::uint32_t part_crc = flag ? expected : kNoCrc;
    fuzz::compare(
        in_file, in_buffer, out_buffer,
        [&](InputFile& in, OutputFile& out, std::uint32_t* crc) {
          return DecodeyEnc(in, out, start, end, part_crc, crc);
        },
        [&](InputFile& in, OutputFile& out, std::uint32_t* crc) {
          return reference::DecodeyEnc(in, out, start, end, part_crc, crc);
        },
        "yEnc decoder");
  }
  return 0;
}
