// assembly.cpp - builds each output file from its parts and hands the inputs over afterwards.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "debugger.hpp"
#include "decoders.hpp"
#include "hooks.hpp"
#include "run_control.hpp"
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

// Later segments with a part number already found are never decoded; say so.
void report_duplicates(const OutputFileRecord& record) {
  if (record.segments.size() == record.first_by_part.size()) return;
  for (const SegmentRecord& segment : record.segments) {
    if (uuIsDuplicateSegment(record, segment)) {
      dispatch::MsgCallback(kLevelWarning, "Duplicate segment %d for '%s' ignored", segment.part,
                            record.dest_name.c_str());
    }
  }
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

int decode_part(OutputFileRecord& record, SegmentRecord& segment, InputFile& input,
                OutputFile& output) {
  switch (record.kind) {
    case kKindUU:
      return DecodeUU(input, output, segment.start_offset, segment.end_offset,
                      static_cast<std::int16_t>(segment.part),
                      static_cast<std::int16_t>(record.part_total), segment.headerless);
    case kKindYEnc:
      return DecodeyEnc(input, output, segment.start_offset, segment.end_offset,
                        segment.part_crc, &record.running_crc);
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

// A yEnc part whose "=ypart " line gave its byte range must decode to that
// many bytes; otherwise it was cut short or ran on. The bytes stay.
bool part_size_matches(const OutputFileRecord& record, const SegmentRecord& segment,
                       std::uint64_t decoded, const std::string& path) {
  if (record.kind != kKindYEnc || !segment.yenc_range) return true;
  const std::int64_t expected = segment.yenc_end - segment.yenc_begin + 1;
  if (expected >= 0 && static_cast<std::uint64_t>(expected) == decoded) return true;
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
};

void check_file_size(const OutputFileRecord& record, const PartLoop& loop,
                     const OutputFile& output, const std::string& path) {
  if (record.yenc_size <= 0 || loop.incomplete) return;
  if (output.length() == static_cast<std::uint64_t>(record.yenc_size)) return;
  dispatch::MsgCallback(kLevelError, "Size mismatch for destination file '%s'", path.c_str());
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

// Decodes every part in order into the open output.
void decode_parts(OutputFileRecord& record, const std::vector<std::int64_t>& visit,
                  bool parts_missing, OutputFile& output, const std::string& path) {
  PartLoop loop;
  loop.incomplete = parts_missing;
  const std::int64_t last = last_part(record);
  std::optional<InputFile> input;  // shared by consecutive parts of one input file
  for (const std::int64_t j : visit) {
    const auto part = static_cast<std::int32_t>(j);
    dispatch::BusyCallback(kBusyDecoding, 0, progress_percent(j, last), "%s", path.c_str());
    if (uuStopRequested()) return;
    SegmentRecord* segment = uuScanGetSegment(&record, part);
    if (segment == nullptr) {
      dispatch::MsgCallback(kLevelWarning, "Missing segment %d for '%s'", part, path.c_str());
      continue;
    }
    if (!input) input = InputFile::open(segment->source_path);
    if (!input) {
      dispatch::MsgCallback(kLevelError, "Unable to open source file '%s', skipping segment %d of '%s'",
                            segment->source_path.c_str(), part, path.c_str());
      loop.incomplete = true;
      continue;
    }

    const std::uint64_t before = output.length();
    dispatch::SetPartSpan(segment->start_offset, segment->end_offset);
    const int result = decode_part(record, *segment, *input, output);
    dispatch::SetPartSpan(0, 0);
    if (!report_result(result, record, *segment, path)) return;
    if (!part_size_matches(record, *segment, output.length() - before, path)) {
      loop.incomplete = true;
    }
    if (part == record.part_max) {
      input.reset();
      if (record.kind == kKindYEnc) {
        check_file_crc(record, path);
        check_file_size(record, loop, output, path);
      }
    } else {
      const SegmentRecord* next = uuScanGetSegment(&record, part + 1);
      if (next == nullptr || next->source_path != segment->source_path) input.reset();
    }
    if (result != kDecodeOk && result != kDecodeCrcMismatch) return;
  }
}

}  // namespace

int uuDecode(OutputFileRecord* record) {
  if (record == nullptr) {
    Debugger("uuDecode without a record");
    return 0;
  }
  const std::vector<std::int32_t> present = present_parts(*record);
  const MissingParts missing = find_missing(*record, present);
  report_missing_parts(*record, missing);
  // Text without a "begin " or "=ybegin " line carries no binary to write.
  if (!record->has_header) return 1;
  report_duplicates(*record);

  ask_directory(*record);
  const std::string path = dispatch::FNameFilter(record->dest_name);
  // An empty path: the user cancelled the run while naming this file.
  if (path.empty()) return 0;
  dispatch::BusyCallback(kBusyDecoding, -1, 0, "%s", path.c_str());

  auto output = OutputFile::create_exclusive(path);
  if (!output) {
    dispatch::MsgCallback(
        kLevelError,
        "Unable to open destination file '%s' for writing, will skip all related parts",
        path.c_str());
    return 0;
  }
  decode_parts(*record, parts_to_visit(present, missing), missing.count != 0, *output, path);
  // A write that fails only when the last buffered bytes reach the disk must
  // not pass for success; earlier failures have been reported already.
  const bool reported = output->error();
  if (uuStopRequested()) {
    output->discard();  // cut short on purpose: never moved into place
    return 1;
  }
  if (!output->close() && !reported && !output->path().empty()) {
    dispatch::MsgCallback(kLevelError,
                          "Unable to write destination file '%s', will skip all related parts",
                          output->path().c_str());
  }
  // The name the file really has: the one asked for may have been taken.
  if (!output->path().empty()) dispatch::PostProcessOutput(output->path());
  return 1;
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
