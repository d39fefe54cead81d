// assembly.cpp - builds each output file from its parts and hands the inputs over afterwards.
#include <algorithm>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "crc32_fast.hpp"
#include "debugger.hpp"
#include "decode_ahead.hpp"
#include "decoders.hpp"
#include "held_calls.hpp"
#include "hooks.hpp"
#include "io_worker.hpp"
#include "part_offsets.hpp"
#include "read_ahead.hpp"
#include "run_control.hpp"
#include "uncached_writes.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

// At most this many "Missing segment" lines per output file and pass; the
// count message still counts them all.
constexpr std::size_t kMaxMissingLines = 100;

// The part numbers the record has, ascending. Everything below walks these
// rather than every number between the lowest and the highest, so a run
// takes time by the parts found, whatever numbers their subjects give.
std::vector<std::int32_t> present_parts(const OutputFileRecord& record) {
  std::vector<std::int32_t> parts;
  parts.reserve(record.first_by_part.size());
  for (const auto& entry : record.first_by_part) parts.push_back(entry.first);
  std::sort(parts.begin(), parts.end());
  return parts;
}

// The highest part number the record should have: parts missing at the end
// count as missing too.
std::int64_t last_part(const OutputFileRecord& record) {
  return std::max(record.part_max, record.part_total);
}

struct MissingParts {
  std::vector<std::int64_t> listed;  // the first kMaxMissingLines, ascending
  std::int64_t count = 0;
};

MissingParts find_missing(const OutputFileRecord& record, const std::vector<std::int32_t>& present) {
  MissingParts missing;
  const std::int64_t last = last_part(record);
  if (last < record.part_min) return missing;
  auto gap = [&](std::int64_t from, std::int64_t to) {  // [from, to]
    if (to < from) return;
    missing.count += to - from + 1;
    for (std::int64_t n = from; n <= to && missing.listed.size() < kMaxMissingLines; ++n) {
      missing.listed.push_back(n);
    }
  };
  std::int64_t next = record.part_min;
  for (const std::int32_t part : present) {
    gap(next, static_cast<std::int64_t>(part) - 1);
    next = static_cast<std::int64_t>(part) + 1;
  }
  gap(next, last);
  return missing;
}

// Reports the parts in the record's range that have no segment.
void report_missing_parts(const OutputFileRecord& record, const MissingParts& missing) {
  for (const std::int64_t n : missing.listed) {
    dispatch::MsgCallback(kLevelWarning, "Missing segment %d for '%s'", static_cast<int>(n),
                          record.dest_name.c_str());
  }
  if (missing.count != 0) {
    dispatch::MsgCallback(kLevelWarning, "Missing %lld segments for '%s'",
                          static_cast<long long>(missing.count), record.dest_name.c_str());
  }
}

// Later segments with a part number already found are never decoded; say so,
// in at most kMaxMissingLines lines and then a count of them all.
void report_duplicates(const OutputFileRecord& record) {
  if (record.segments.size() == record.first_by_part.size()) return;
  std::size_t count = 0;
  for (const SegmentRecord& segment : record.segments) {
    if (uuIsDuplicateSegment(record, segment) && ++count <= kMaxMissingLines) {
      dispatch::MsgCallback(kLevelWarning, "Duplicate segment %d for '%s' ignored", segment.part,
                            record.dest_name.c_str());
    }
  }
  if (count > kMaxMissingLines) {
    dispatch::MsgCallback(kLevelWarning, "Ignored %zu duplicate segments for '%s'", count,
                          record.dest_name.c_str());
  }
}

// A run of parts that makes one output file: all of a record's parts, or,
// where later parts carry "begin " lines of other names, the parts from one
// such line up to the next.
struct Binary {
  std::string name;
  std::int64_t first = 0;  // part numbers, inclusive
  std::int64_t last = 0;
  bool of_a_set = false;   // one of several binaries under one subject
};

std::vector<Binary> binaries_of(const OutputFileRecord& record) {
  std::vector<Binary> binaries = {{record.dest_name, record.part_min, last_part(record), false}};
  if (record.kind != kKindUU || record.begin_names.size() < 2) return binaries;
  auto names = record.begin_names;
  std::sort(names.begin(), names.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  binaries.front().name = names.front().second;
  for (const auto& [part, name] : names) {
    if (name == binaries.back().name) continue;  // a repeat of the same header
    binaries.back().last = static_cast<std::int64_t>(part) - 1;
    binaries.push_back({name, part, last_part(record), true});
  }
  if (binaries.size() > 1) binaries.front().of_a_set = true;
  return binaries;
}

// Lets the directory hook see (and rewrite) the subject text in the record.
void ask_directory(OutputFileRecord& record) {
  std::string text = record.subject_text();
  dispatch::DirectoryCallback(record.dest_name, text);
  if (!record.subject.empty()) record.subject.replace(1, std::string::npos, text);
}

int progress_percent(std::int64_t part, std::int64_t last) {
  return last == 0 ? 0 : static_cast<int>(part * 100 / last);
}

int decode_part(OutputFileRecord& record, SegmentRecord& segment, const Binary& binary,
                InputFile& input, OutputFile& output, DamagedLines& damaged,
                std::int64_t& yend_size, bool& cut_short, DeferredCrc* deferred) {
  // The decoder checks the end of the data in the last part of its binary.
  const std::int64_t part = binary.of_a_set ? segment.part - binary.first + 1 : segment.part;
  const std::int64_t total = binary.of_a_set ? binary.last - binary.first + 1 : record.part_total;
  switch (record.kind) {
    case kKindUU:
      return DecodeUU(input, output, segment.start_offset, segment.end_offset,
                      static_cast<std::int16_t>(part), static_cast<std::int16_t>(total),
                      segment.headerless, &damaged, segment.no_begin_line);
    case kKindYEnc:
      return DecodeyEnc(input, output, segment.start_offset, segment.end_offset,
                        segment.part_crc, &record.running_crc, &yend_size, &cut_short, deferred);
    default:
      return kDecodeOk;
  }
}

// Reports a decoder result; false when assembly must stop at once.
bool report_result(int result, const OutputFileRecord& record, const SegmentRecord& segment,
                   const std::string& path) {
  switch (result) {
    case kDecodeWriteFailed:
      dispatch::MsgCallback(kLevelError,
                            "Unable to write destination file '%s', will skip all related parts",
                            path.c_str());
      return false;
    case kDecodeEarlyEof:
      dispatch::MsgCallback(kLevelError, "Early EOF for file '%s'", segment.source_path.c_str());
      return false;
    case kDecodeStopped:
      return false;
    case kDecodeCrcMismatch:
      // The part stays written and assembly goes on.
      dispatch::MsgCallback(kLevelError, "CRC mismatch for destination file '%s', Segment %ld/%ld",
                            path.c_str(), static_cast<long>(segment.part),
                            static_cast<long>(record.part_total));
      return true;
    default:
      return true;
  }
}

// A yEnc part whose "=ypart " line gave its byte range, or whose "=yend "
// line its size, must decode to that many bytes; otherwise it was cut short
// or ran on. One that began but never reached its "=yend " line was cut
// short, whatever it decoded to. The bytes stay.
bool part_size_matches(const OutputFileRecord& record, const SegmentRecord& segment,
                       std::uint64_t decoded, std::int64_t yend_size, bool cut_short,
                       const std::string& path) {
  if (record.kind != kKindYEnc) return true;
  const auto is = [&](std::int64_t expected) {
    return expected >= 0 && static_cast<std::uint64_t>(expected) == decoded;
  };
  const bool range_ok = !segment.yenc_range || is(segment.yenc_end - segment.yenc_begin + 1);
  if (!cut_short && range_ok && (yend_size < 0 || is(yend_size))) return true;
  dispatch::MsgCallback(kLevelError, "Size mismatch for destination file '%s', Segment %ld/%ld",
                        path.c_str(), static_cast<long>(segment.part),
                        static_cast<long>(record.part_total));
  return false;
}

void check_file_crc(OutputFileRecord& record, const std::string& path) {
  record.running_crc = ~record.running_crc;
  if (record.file_crc != 0 && record.file_crc != record.running_crc) {
    dispatch::MsgCallback(kLevelError, "CRC mismatch for destination file '%s'", path.c_str());
  }
}

// What the part loop learnt that the whole-file checks need.
struct PartLoop {
  bool incomplete = false;  // a part was missing, skipped or the wrong size
  bool at_offsets = false;  // parts go to their byte ranges in a file of the posted size
  std::vector<ByteRange> filled;  // where parts wrote, when at_offsets
};

void check_file_size(const OutputFileRecord& record, const PartLoop& loop,
                     const OutputFile& output, const std::string& path) {
  if (!record.yenc_size_given || record.yenc_size < 0 || loop.incomplete || loop.at_offsets) return;
  if (output.length() == static_cast<std::uint64_t>(record.yenc_size)) return;
  dispatch::MsgCallback(kLevelError, "Size mismatch for destination file '%s'", path.c_str());
}

// The whole-file checks once the binary's last part is in. With holes the
// file CRC cannot match: the parts that left them are reported already.
void check_whole_file(OutputFileRecord& record, const PartLoop& loop, const OutputFile& output,
                      const std::string& path, OutputOutcome& outcome) {
  if (record.kind != kKindYEnc) return;
  if (loop.at_offsets && !HolesIn(loop.filled, static_cast<std::uint64_t>(record.yenc_size)).empty()) {
    outcome.file_crc = record.file_crc != 0 ? kCrcNotChecked : kCrcNotGiven;
    return;
  }
  const std::uint64_t problems = dispatch::ProblemsReported();
  check_file_crc(record, path);
  if (record.file_crc != 0) outcome.file_crc = problems == dispatch::ProblemsReported() ? kCrcVerified : kCrcMismatch;
  check_file_size(record, loop, output, path);
}

// The part numbers the loop visits, ascending: every part found and the
// missing ones that are reported.
std::vector<std::int64_t> parts_to_visit(const std::vector<std::int32_t>& present,
                                         const MissingParts& missing) {
  std::vector<std::int64_t> visit(present.begin(), present.end());
  visit.insert(visit.end(), missing.listed.begin(), missing.listed.end());
  std::sort(visit.begin(), visit.end());
  return visit;
}

// The runs of part numbers of the binary that have no segment.
std::vector<std::pair<std::int64_t, std::int64_t>> missing_runs(const OutputFileRecord& record,
                                                                const Binary& binary) {
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;
  std::int64_t next = std::max<std::int64_t>(binary.first, record.part_min);
  for (const auto& entry : record.first_by_part) {
    const std::int64_t part = entry.first;
    if (part < next || part > binary.last) continue;
    if (part > next) runs.emplace_back(next, part - 1);
    next = part + 1;
  }
  if (next <= binary.last) runs.emplace_back(next, binary.last);
  return runs;
}

// How the part came out: its place in the output, damage and CRC.
PartOutcome part_outcome(const SegmentRecord& segment, std::uint64_t offset, std::uint64_t length,
                         int result, bool damaged) {
  PartOutcome part{segment.source_path, segment.start_offset, 0, offset, length, segment.part, kPartGood, kCrcNotGiven};
  if (damaged || result != kDecodeOk) part.state = kPartDamaged;
  if (segment.part_crc != kNoCrc) {
    part.crc = result == kDecodeCrcMismatch ? kCrcMismatch : damaged ? kCrcNotChecked : kCrcVerified;
  }
  return part;
}

// The parts decoded ahead that stand for decoding their segments.
using PartsAhead = std::unordered_map<const SegmentRecord*, PartAhead>;

const PartAhead* ahead_of(const PartsAhead* parts, const SegmentRecord* segment) {
  if (parts == nullptr) return nullptr;
  const auto found = parts->find(segment);
  return found == parts->end() ? nullptr : &found->second;
}

// The binary's segments, in the order they are decoded.
std::vector<const SegmentRecord*> segments_of(OutputFileRecord& record, const std::vector<std::int64_t>& visit,
                                              const Binary& binary) {
  std::vector<const SegmentRecord*> segments;
  for (const std::int64_t j : visit) {
    if (j < binary.first || j > binary.last) continue;
    if (const SegmentRecord* segment = uuScanGetSegment(&record, static_cast<std::int32_t>(j))) {
      segments.push_back(segment);
    }
  }
  return segments;
}

// The input ranges of the binary's parts that are read, in the order they are decoded.
std::vector<ReadAhead::Span> spans_of(OutputFileRecord& record, const std::vector<std::int64_t>& visit,
                                      const Binary& binary, const PartsAhead* ahead) {
  std::vector<ReadAhead::Span> spans;
  for (const SegmentRecord* segment : segments_of(record, visit, binary)) {
    if (ahead_of(ahead, segment) != nullptr) continue;
    spans.push_back({segment->source_path, segment->start_offset, segment->end_offset});
  }
  return spans;
}

std::uint64_t bytes_of(const std::vector<ReadAhead::Span>& spans) {
  std::uint64_t bytes = 0;
  for (const ReadAhead::Span& span : spans) bytes += span.end > span.begin ? span.end - span.begin : 0;
  return bytes;
}

// The size the output will have, or about: the posted one, else what the
// input's encoding makes of its bytes.
std::uint64_t expected_size(const OutputFileRecord& record, std::uint64_t input_bytes) {
  if (record.kind == kKindYEnc && record.yenc_size_given && record.yenc_size >= 0) {
    return static_cast<std::uint64_t>(record.yenc_size);
  }
  return record.kind == kKindUU ? input_bytes / 4 * 3 : input_bytes;
}

// Below this much output setting disk space aside gains nothing.
constexpr std::uint64_t kReserveFrom = 1024 * 1024;

// Below this much input a second thread costs more than it saves.
constexpr std::uint64_t kPipelineFrom = 1024 * 1024;
// Nor below this much input per part: each part's ending meets the worker,
// which made parts of 16 KiB take 1.7 times as long as on one thread, and
// parts of 100 bytes twice as long; at 64 KiB the two break even.
constexpr std::uint64_t kPipelinePartFrom = 64 * 1024;

// Whether the worker pays for an output made from `parts` parts of `input_bytes` in all.
bool WorkerPays(std::uint64_t input_bytes, std::size_t parts) {
  if (IoWorker::threads_asked()) return true;  // tests take it for every output
  return input_bytes >= kPipelineFrom && input_bytes >= kPipelinePartFrom * parts;
}

// A part decoded, with what its ending reports.
struct DecodedPart {
  SegmentRecord* segment = nullptr;
  std::uint64_t offset = 0;  // where in the output it went
  std::uint64_t room = 0;    // the length of its byte range, when at offsets
  std::uint64_t before = 0;  // the output's length before it
  std::uint64_t decoded = 0;
  std::int64_t yend_size = -1;
  bool cut_short = false;
  bool failed_before = false;
  int result = kDecodeOk;
  std::uint64_t writes = 0;    // the output's writes handed over by its end
  std::uint64_t problems = 0;  // problems reported before its own messages
  std::optional<DeferredCrc> crc;  // its CRC, when taken behind
  std::uint64_t crc_to = 0;        // and where its bytes end
  const PartAhead* crc_ahead = nullptr;  // decoded ahead: its CRC, taken where a worker's would be
};

// The whole-file register goes on over a part's bytes, given their register.
void add_part_crc(OutputFileRecord& record, const PartAhead& part) {
  if (part.decoded != 0) record.running_crc = crc_shift(record.running_crc ^ kCrcPreset, part.decoded) ^ part.crc;
}

// Makes the polls that decoding the part made ahead, and takes what came of it.
int replay_part(const PartAhead& part, OutputFileRecord& record, const OutputFile& output, DecodedPart& decoded) {
  for (const std::uint64_t position : part.polls) {
    if (dispatch::PollDecoding(position)) return kDecodeStopped;
  }
  decoded.yend_size = part.yend_size;
  decoded.cut_short = part.cut_short;
  decoded.decoded = part.decoded;
  if (output.crc_is_behind()) {
    decoded.crc_ahead = &part;
  } else {
    add_part_crc(record, part);
  }
  return part.result;
}

// Takes in the CRC of a part the worker counted: the whole-file register
// goes on over it, and its part CRC is tested where that is due.
void take_deferred_crc(OutputFileRecord& record, DecodedPart& part, OutputFile& output) {
  const std::optional<std::uint32_t> reg = output.crc_between(part.crc->from, part.crc_to);
  if (!reg) return;  // the output failed on the way, which is reported
  const std::uint64_t length = part.crc_to - part.crc->from;
  record.running_crc = crc_shift(record.running_crc, length) ^ *reg;
  const std::uint32_t part_crc = ~(crc_shift(kCrcPreset, length) ^ *reg);
  if (part.crc->check && part.result == kDecodeOk && part_crc != part.segment->part_crc) {
    part.result = kDecodeCrcMismatch;
  }
}

// Reports how the part came out once its writes are done, and notes its
// outcome. Whether the loop may go on.
bool end_part(OutputFileRecord& record, DecodedPart& part, PartLoop& loop, OutputFile& output,
              const std::string& path, OutputOutcome& outcome) {
  // A write the worker has not finished belongs to this part: its failure
  // is this part's, as it would have been written here.
  if (!output.settle(part.writes) && !part.failed_before &&
      (part.result == kDecodeOk || part.result == kDecodeCrcMismatch)) {
    part.result = kDecodeWriteFailed;
  }
  if (part.crc) take_deferred_crc(record, part, output);
  if (part.crc_ahead != nullptr) add_part_crc(record, *part.crc_ahead);
  const SegmentRecord& segment = *part.segment;
  const bool go_on = report_result(part.result, record, segment, path);
  if (go_on && !part_size_matches(record, segment, part.decoded, part.yend_size, part.cut_short, path)) {
    loop.incomplete = true;
  }
  const std::uint64_t kept = loop.at_offsets ? std::min(part.decoded, part.room) : part.decoded;
  if (part.result != kDecodeStopped) {
    outcome.parts.push_back(
        part_outcome(segment, part.offset, kept, part.result, part.problems != dispatch::ProblemsReported()));
  }
  if (loop.at_offsets) loop.filled.push_back({part.offset, kept});
  return go_on;
}

// The longest input of a part decoded while the last one's ending waits:
// a few milliseconds of decoding.
constexpr std::uint64_t kHeldPartUpTo = 4 * 1024 * 1024;

// With a worker, a part's ending waits until the next part is decoded, by
// when its writes are most likely done, so that decoding never waits for
// them. The hook calls made meanwhile are held, and made only once the
// part has ended; its failed write ends the output there, and the next
// part then counts as never decoded.
class WaitingPart {
 public:
  bool empty() const { return !part_; }

  void wait(const DecodedPart& part) {
    part_ = part;
    held_.emplace();
  }

  // The calls held so far; those from here on are the next part's own.
  std::size_t calls_held() const { return held_ ? held_->size() : 0; }

  // Ends the waiting part; false when the loop must stop there.
  bool end(OutputFileRecord& record, PartLoop& loop, OutputFile& output, const std::string& path,
           OutputOutcome& outcome) {
    if (!part_) return true;
    bool go_on = false;
    {
      const dispatch::HeldCalls::Unheld live(*held_);
      go_on = end_part(record, *part_, loop, output, path, outcome);
    }
    part_.reset();
    if (!go_on) held_.reset();
    return go_on;
  }

  // Makes the held calls before `end`, or all of them; false when one asked
  // for a stop.
  bool release(std::size_t end) { return !held_ || held_->release(end); }
  bool release_all() {
    const bool go_on = !held_ || held_->release_all();
    held_.reset();
    return go_on;
  }

 private:
  std::optional<DecodedPart> part_;
  std::optional<dispatch::HeldCalls> held_;
};

// Decodes every part of the binary in order into the open output. With a
// worker, the parts' bytes are read ahead on it and written behind.
void decode_parts(OutputFileRecord& record, const std::vector<std::int64_t>& visit,
                  const Binary& binary, PartLoop& loop, OutputFile& output,
                  const std::string& path, DamagedLines& damaged, OutputOutcome& outcome,
                  IoWorker* worker, const PartsAhead* parts_ahead) {
  const std::int64_t last = last_part(record);
  std::int64_t last_found = 0;  // the binary's highest part found
  for (const std::int64_t j : visit) {
    if (j >= binary.first && j <= binary.last && uuScanGetSegment(&record, static_cast<std::int32_t>(j))) {
      last_found = j;
    }
  }
  std::optional<ReadAhead> ahead;  // outlives the input reading from it
  if (worker != nullptr) ahead.emplace(*worker, spans_of(record, visit, binary, parts_ahead));
  std::size_t span = 0;  // of the next part found
  std::optional<InputFile> input;  // shared by consecutive parts of one input file
  WaitingPart waiting;
  const auto end_waiting = [&] {
    return waiting.end(record, loop, output, path, outcome) && waiting.release_all();
  };
  for (const std::int64_t j : visit) {
    if (j < binary.first || j > binary.last) continue;
    const auto part = static_cast<std::int32_t>(j);
    dispatch::BusyCallback(kBusyDecoding, 0, progress_percent(j, last), "%s", path.c_str());
    if (uuStopRequested()) {
      end_waiting();
      return;
    }
    SegmentRecord* segment = uuScanGetSegment(&record, part);
    if (segment == nullptr) {
      dispatch::MsgCallback(kLevelWarning, "Missing segment %d for '%s'", part, path.c_str());
      continue;
    }
    const std::uint64_t offset =
        loop.at_offsets ? static_cast<std::uint64_t>(segment->yenc_begin - 1) : output.length();
    const std::uint64_t room = static_cast<std::uint64_t>(segment->yenc_end - segment->yenc_begin + 1);
    const PartAhead* replayed = ahead_of(parts_ahead, segment);
    if (ahead && !replayed) ahead->reach(span++);
    if (!input && !replayed) {
      input = InputFile::open(segment->source_path);
      if (input && ahead) input->read_from(&*ahead);
    }
    if (!input && !replayed) {
      if (!end_waiting()) return;
      dispatch::MsgCallback(kLevelError, "Unable to open source file '%s', skipping segment %d of '%s'",
                            segment->source_path.c_str(), part, path.c_str());
      loop.incomplete = true;
      outcome.parts.push_back(part_outcome(*segment, offset, 0, kDecodeOk, true));
      continue;
    }
    // A long part is not decoded with the calls held: its polls keep a
    // progress window painted and a stop answered.
    if (segment->end_offset - segment->start_offset > kHeldPartUpTo && !end_waiting()) return;
    if (loop.at_offsets && !replayed) output.place_at(offset, offset + room);
    DecodedPart decoded;
    decoded.segment = segment;
    decoded.offset = offset;
    decoded.room = room;
    decoded.before = output.length();
    decoded.problems = dispatch::ProblemsReported();
    const std::size_t calls_before = waiting.calls_held();
    const std::uint32_t crc_before = record.running_crc;
    dispatch::SetPartSpan(segment->start_offset, segment->end_offset);
    decoded.failed_before = output.error();
    DeferredCrc deferred;
    if (replayed) {
      decoded.result = replay_part(*replayed, record, output, decoded);
    } else {
      decoded.result = decode_part(record, *segment, binary, *input, output, damaged, decoded.yend_size,
                                   decoded.cut_short, &deferred);
    }
    dispatch::SetPartSpan(0, 0);
    if (!replayed && record.kind == kKindYEnc && output.crc_is_behind()) {
      decoded.crc = deferred;
      decoded.crc_to = output.crc_mark();
    }
    if (!replayed) decoded.decoded = output.length() - decoded.before;
    decoded.writes = output.writes_handed();
    if (j == last_found) {
      input.reset();
    } else {
      const SegmentRecord* next = uuScanGetSegment(&record, part + 1);
      if (next == nullptr || next->source_path != segment->source_path) input.reset();
    }
    if (!waiting.empty()) {
      if (!waiting.end(record, loop, output, path, outcome)) {
        // The part before could not be written: this one was never decoded.
        output.forget_from(decoded.before);
        record.running_crc = crc_before;
        return;
      }
      // Its own problems are those its calls bring, not those before it.
      if (!waiting.release(calls_before)) return;
      decoded.problems = dispatch::ProblemsReported();
      if (!waiting.release_all()) return;
    }
    const bool whole = decoded.result == kDecodeOk || decoded.result == kDecodeCrcMismatch;
    if (worker != nullptr && whole && j != last_found) {
      waiting.wait(decoded);
      continue;
    }
    if (!end_part(record, decoded, loop, output, path, outcome)) return;
    if (j == last_found) check_whole_file(record, loop, output, path, outcome);
    if (!whole) return;
  }
  end_waiting();
}

enum BinaryResult { kCancelled = -1, kNotCreated = 0, kMade = 1 };

// Makes one output file from the binary's parts.
BinaryResult decode_binary(OutputFileRecord& record, const Binary& binary,
                   const std::vector<std::int64_t>& visit, bool parts_missing) {
  record.dest_name = binary.name;
  const std::string subject = record.subject;  // as found: the directory hook may rewrite it
  ask_directory(record);
  OutputOutcome outcome;
  outcome.name = record.dest_name;
  outcome.missing = missing_runs(record, binary);
  const std::string path = dispatch::FNameFilter(record.dest_name);
  // An empty path: the user cancelled the run while naming this file.
  if (path.empty()) return kCancelled;
  dispatch::BusyCallback(kBusyDecoding, -1, 0, "%s", path.c_str());

  std::optional<IoWorker> worker;  // outlives the output, whose writes it makes
  PartLoop loop;
  loop.incomplete = parts_missing;
  loop.at_offsets = PartsHaveOffsets(record);
  // Parts decoded while their inputs were scanned need not be read again.
  std::optional<TakenAhead> taken;
  if (loop.at_offsets) taken = TakeDecodedAhead(record, subject, binary.name, segments_of(record, visit, binary), path);
  const PartsAhead* parts_ahead = taken ? &taken->parts : nullptr;
  auto output = taken ? std::optional<OutputFile>(std::move(taken->output)) : OutputFile::create_exclusive(path);
  if (!output) {
    dispatch::MsgCallback(
        kLevelError,
        "Unable to open destination file '%s' for writing, will skip all related parts",
        path.c_str());
    record.outputs.push_back(std::move(outcome));
    return kNotCreated;
  }
  const auto size = static_cast<std::uint64_t>(record.yenc_size);
  if (loop.at_offsets && !output->resize(size)) {
    dispatch::MsgCallback(kLevelError, "Unable to write destination file '%s', will skip all related parts",
                          path.c_str());
  }
  const std::vector<ReadAhead::Span> spans = spans_of(record, visit, binary, parts_ahead);
  const std::uint64_t input_bytes = bytes_of(spans);
  // Never more than the input: a header's claim alone sets nothing aside.
  const std::uint64_t likely = std::min(expected_size(record, input_bytes), input_bytes);
  if (likely >= kReserveFrom && (!loop.at_offsets || PartsFill(record, input_bytes))) {
    output->reserve(likely);
  }
  if (WantUncachedWrites(expected_size(record, input_bytes))) output->write_uncached();
  if (IoWorker::threads_allowed() > 1 && WorkerPays(input_bytes, spans.size())) {
    try {
      worker.emplace();
      output->write_behind(*worker);
      // The worker reads the buffers to write them: it takes their CRC too,
      // unless that costs more than taking it here.
      if (record.kind == kKindYEnc && !crc_cheapest_where_written()) output->crc_behind();
    } catch (const std::system_error&) {
      // No thread to be had: everything on this one, as with one thread.
    }
  }
  DamagedLines damaged(record.dest_name);
  if (!output->error()) {
    decode_parts(record, visit, binary, loop, *output, path, damaged, outcome, worker ? &*worker : nullptr,
                 parts_ahead);
  }
  damaged.report_count();
  outcome.at_offsets = loop.at_offsets;
  // A write that fails only when the last buffered bytes reach the disk must
  // not pass for success; earlier failures have been reported already.
  const bool reported = output->error();
  if (loop.at_offsets && !uuStopRequested()) {
    // Nothing past a failed write reached the file, however far the parts
    // were decoded (with a worker, further than on one thread).
    output->settle();
    outcome.holes = HolesIn(WrittenBefore(loop.filled, output->failed_at()), size);
    ReportHoles(outcome.holes, path);
  }
  if (uuStopRequested()) {
    output->discard();  // cut short on purpose: never moved into place
    record.outputs.push_back(std::move(outcome));
    return kMade;
  }
  outcome.size = loop.at_offsets ? size : output->length();
  if (!output->close() && !reported && !output->path().empty()) {
    dispatch::MsgCallback(kLevelError,
                          "Unable to write destination file '%s', will skip all related parts",
                          output->path().c_str());
  }
  // A failed write may have carried the last bytes of parts that had ended
  // (or, at the close, of the last): those never reached the file.
  const std::uint64_t written_to = output->failed_at();
  for (PartOutcome& part : outcome.parts) {
    if (part.offset + part.length <= written_to) continue;
    part.state = kPartDamaged;
    part.length = part.offset < written_to ? written_to - part.offset : 0;
  }
  // The name the file really has: the one asked for may have been taken.
  outcome.path = output->path();
  record.outputs.push_back(std::move(outcome));
  if (!output->path().empty()) dispatch::PostProcessOutput(output->path());
  return kMade;
}

}  // namespace

int uuDecode(OutputFileRecord* record) {
  if (record == nullptr) {
    Debugger("uuDecode without a record");
    return 0;
  }
  const std::vector<Binary> binaries = binaries_of(*record);
  record->outputs.clear();
  record->dest_name = binaries.front().name;
  const std::vector<std::int32_t> present = present_parts(*record);
  const MissingParts missing = find_missing(*record, present);
  report_missing_parts(*record, missing);
  // Text without a "begin " or "=ybegin " line carries no binary to write.
  if (!record->has_header) return 1;
  report_duplicates(*record);

  // Several binaries under one subject stay separate files, none lost.
  const std::vector<std::int64_t> visit = parts_to_visit(present, missing);
  int result = 1;
  for (const Binary& binary : binaries) {
    if (uuStopRequested()) break;
    const BinaryResult made = decode_binary(*record, binary, visit, missing.count != 0);
    if (made != kMade) result = 0;
    if (made == kCancelled) break;
  }
  return result;
}

int uuRemove(OutputFileRecord* record) {
  if (record == nullptr) return 0;
  const SegmentRecord* first = uuScanGetSegment(record, record->part_min);
  for (const std::int32_t i : present_parts(*record)) {
    const SegmentRecord* segment = uuScanGetSegment(record, i);
    if (i > record->part_min && first != nullptr && segment->source_path == first->source_path) {
      continue;
    }
    dispatch::InputRemoveCallback(segment->source_path);
  }
  return 0;
}

}  // namespace vantorelle
