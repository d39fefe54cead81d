// assembly.cpp - builds each output file from its parts and hands the inputs over afterwards.
#include <optional>
#include <string>

#include "debugger.hpp"
#include "decoders.hpp"
#include "hooks.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

// Reports every part number in the record's range that has no segment.
void report_missing_parts(OutputFileRecord& record) {
  if (record.part_max < record.part_min) return;
  int missing = 0;
  for (std::int64_t n = record.part_min; n <= record.part_max; ++n) {
    if (uuScanGetSegment(&record, static_cast<std::int32_t>(n)) == nullptr) {
      dispatch::MsgCallback(kLevelWarning, "Missing segment %d for '%s'", static_cast<int>(n),
                            record.dest_name.c_str());
      ++missing;
    }
  }
  if (missing != 0) {
    dispatch::MsgCallback(kLevelWarning, "Missing %d segments for '%s'", missing,
                          record.dest_name.c_str());
  }
}

// Lets the directory hook see (and rewrite) the subject text in the record.
void ask_directory(OutputFileRecord& record) {
  std::string text = record.subject_text();
  dispatch::DirectoryCallback(record.dest_name, text);
  if (!record.subject.empty()) record.subject.replace(1, std::string::npos, text);
}

int progress_percent(std::int64_t part, std::int32_t part_max) {
  return part_max == 0 ? 0 : static_cast<int>(part * 100 / part_max);
}

int decode_part(OutputFileRecord& record, SegmentRecord& segment, InputFile& input,
                OutputFile& output) {
  switch (record.kind) {
    case kKindUU:
      return DecodeUU(input, output, segment.start_offset, segment.end_offset,
                      static_cast<std::int16_t>(segment.part),
                      static_cast<std::int16_t>(record.part_total));
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

void check_file_crc(OutputFileRecord& record, const std::string& path) {
  record.running_crc = ~record.running_crc;
  if (record.file_crc != 0 && record.file_crc != record.running_crc) {
    dispatch::MsgCallback(kLevelError, "CRC mismatch for destination file '%s'", path.c_str());
  }
}

// Decodes every part in order into the open output.
void decode_parts(OutputFileRecord& record, OutputFile& output, const std::string& path) {
  std::optional<InputFile> input;  // shared by consecutive parts of one input file
  for (std::int64_t j = record.part_min; j <= record.part_max; ++j) {
    const auto part = static_cast<std::int32_t>(j);
    dispatch::BusyCallback(kBusyDecoding, 0, progress_percent(j, record.part_max), "%s",
                           path.c_str());
    SegmentRecord* segment = uuScanGetSegment(&record, part);
    if (segment == nullptr) {
      dispatch::MsgCallback(kLevelWarning, "Missing segment %d for '%s'", part, path.c_str());
      continue;
    }
    if (!input) input = InputFile::open(segment->source_path);
    if (!input) continue;  // an input that cannot be opened is skipped silently

    const int result = decode_part(record, *segment, *input, output);
    if (!report_result(result, record, *segment, path)) return;
    if (part == record.part_max) {
      input.reset();
      if (record.kind == kKindYEnc) check_file_crc(record, path);
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
  report_missing_parts(*record);
  ask_directory(*record);
  const std::string path = dispatch::FNameFilter(record->dest_name);
  dispatch::BusyCallback(kBusyDecoding, -1, 0, "%s", path.c_str());

  auto output = OutputFile::create_exclusive(path);
  if (!output) {
    dispatch::MsgCallback(
        kLevelError,
        "Unable to open destination file '%s' for writing, will skip all related parts",
        path.c_str());
    return 0;
  }
  decode_parts(*record, *output, path);
  // A write that fails only when the last buffered bytes reach the disk must
  // not pass for success; earlier failures have been reported already.
  const bool reported = output->error();
  if (!output->close() && !reported) {
    dispatch::MsgCallback(kLevelError,
                          "Unable to write destination file '%s', will skip all related parts",
                          path.c_str());
  }
  dispatch::PostProcessOutput(path);
  return 1;
}

int uuRemove(OutputFileRecord* record) {
  if (record == nullptr) return 0;
  const SegmentRecord* first = uuScanGetSegment(record, record->part_min);
  for (std::int64_t i = record->part_min; i <= record->part_max; ++i) {
    const SegmentRecord* segment = uuScanGetSegment(record, static_cast<std::int32_t>(i));
    if (segment == nullptr) continue;
    if (i > record->part_min && first != nullptr && segment->source_path == first->source_path) {
      continue;
    }
    dispatch::InputRemoveCallback(segment->source_path);
  }
  return 0;
}

}  // namespace vantorelle
