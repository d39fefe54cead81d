// decode_ahead.hpp - yEnc parts decoded while their input file is scanned, and taken over by assembly.
//
// A run reads every input twice, to scan it and to decode it, and the second
// read costs about what a copy of the file does. A part that gives its byte
// range can be decoded as soon as its file is scanned, with the file still in
// memory: its bytes go to their place in a temporary file for the output, and
// what came of it (result, length, CRC register, the positions of its polls)
// is kept. Assembly later takes the file over as the output and, for each such
// part, makes the calls and takes the results its decoding would have given.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "input_file.hpp"
#include "output_file.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {

// What decoding one part ahead made of it, and the segment it came from.
struct PartAhead {
  std::string source_path;
  InputFile::Identity identity;  // of the input as it was read
  std::uint64_t start_offset = 0;
  std::uint64_t end_offset = 0;
  std::int64_t yenc_begin = 0;
  std::int64_t yenc_end = 0;
  std::uint32_t part_crc = kNoCrc;
  int result = kDecodeWriteFailed;
  std::uint64_t decoded = 0;  // bytes, as the output counted them
  std::int64_t yend_size = -1;
  bool cut_short = false;
  std::uint32_t crc = 0;             // the register over those bytes, from the preset
  std::vector<std::uint64_t> polls;  // where the decoding polled
};

// Files larger than this are scanned in blocks, as usual, and decoded in
// turn: the whole file is held in memory meanwhile, on each scanning thread.
inline constexpr std::uint64_t kMostHeldAhead = 8 << 20;

// Whether scanning decodes ahead now: a DecodeAhead lives.
bool DecodingAhead();

// Of a file just scanned and still whole in `input`: decodes the yEnc parts
// that scanning the file alone found (`found`) into their outputs'
// temporary files. On the scanning thread; reaches no hook.
void DecodeFileAhead(const Catalogue& found, InputFile& input);

// The temporary file decoded ahead for the output of `record` (found under
// `subject` and named `name` in its data) at `path`, taken over as that output, and for each of the
// output's `segments` that was decoded ahead from the same bytes, what came
// of it. Nothing where there is none, or it cannot stand for the output
// (another folder, an input changed since, parts that overlap or that the
// output does not use): it is then removed.
struct TakenAhead {
  OutputFile output;
  std::unordered_map<const SegmentRecord*, PartAhead> parts;
};
std::optional<TakenAhead> TakeDecodedAhead(const OutputFileRecord& record, const std::string& subject,
                                           const std::string& name, const std::vector<const SegmentRecord*>& segments,
                                           const std::string& path);

}  // namespace vantorelle
