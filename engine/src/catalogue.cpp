// catalogue.cpp - output-file and segment records: creating, finding, filling.
#include <algorithm>

#include "debugger.hpp"
#include "header_values.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

void set_dest_name(OutputFileRecord& record, std::string_view name) {
  record.dest_name.assign(name.substr(0, kMaxNameLength));
}

void update_part_range(OutputFileRecord& record, std::int32_t part) {
  record.part_min = std::min(record.part_min, part);
  record.part_max = std::max(record.part_max, part);
}

SegmentRecord& append_segment(OutputFileRecord& record, std::string_view source_path,
                              std::int32_t part, std::uint64_t start_offset) {
  SegmentRecord& segment = record.segments.emplace_back();
  segment.source_path.assign(source_path);
  segment.part = part;
  segment.start_offset = start_offset;
  record.first_by_part.try_emplace(part, record.segments.size() - 1);
  return segment;
}

AddedSegment add_to(OutputFileRecord& record, std::string_view source_path, std::int32_t part,
                    std::uint64_t start_offset) {
  update_part_range(record, part);
  SegmentRecord& segment = append_segment(record, source_path, part, start_offset);
  return {&record, &segment};
}

// The trimmed "name=" value of a "=ybegin " line, as dest_name takes it.
std::string ybegin_name(std::string_view line) {
  std::string_view value;
  if (!find_value(line, "name=", value)) return {};
  std::string name(value);
  strtrim(name);
  return name.substr(0, kMaxNameLength);
}

// A decimal field of a "=ybegin " line, or the fallback when it is absent.
std::int32_t ybegin_number(std::string_view line, std::string_view key, std::int32_t fallback) {
  std::string_view value;
  return find_value(ybegin_fields(line), key, value) ? decimal_value(value) : fallback;
}

// A "=ypart " or "=yend " line in a record that no header line opened: yEnc
// data whose "=ybegin " line was lost. The record is not mere text then; its
// decoding finds no data and its checks report the loss.
void note_headless_yenc(OutputFileRecord& record, const SegmentRecord& segment) {
  if (record.has_header || uuIsDuplicateSegment(record, segment)) return;
  record.kind = kKindYEnc;
  record.has_header = true;
}

}  // namespace

std::string OutputFileRecord::subject_text() const {
  return subject.empty() ? std::string() : subject.substr(1);
}

OutputFileRecord* Catalogue::find(std::string_view key) {
  const auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : &records_[it->second];
}

OutputFileRecord& Catalogue::append(std::string_view key, std::int32_t part_total) {
  OutputFileRecord& record = records_.emplace_back();
  record.subject.assign(key);
  record.part_total = part_total;
  index_.emplace(record.subject, records_.size() - 1);
  return record;
}

OutputFileRecord* Catalogue::find_named(std::string_view name) {
  const auto it = named_index_.find(std::string(name));
  return it == named_index_.end() ? nullptr : &records_[it->second];
}

OutputFileRecord& Catalogue::append_named(std::string_view name, std::int32_t part_total) {
  OutputFileRecord& record = append_unnamed(part_total);
  named_index_.emplace(std::string(name), records_.size() - 1);
  return record;
}

OutputFileRecord& Catalogue::append_unnamed(std::int32_t part_total) {
  OutputFileRecord& record = records_.emplace_back();
  record.part_total = part_total;
  return record;
}

AddedSegment uulist_add_sement(Catalogue& catalogue, std::string_view source_path,
                               std::string_view key, std::int32_t part, std::int32_t total,
                               std::uint64_t start_offset) {
  OutputFileRecord* record = catalogue.find(key);
  if (record == nullptr) record = &catalogue.append(key, total);
  return add_to(*record, source_path, part, start_offset);
}

AddedSegment uulist_add_named_segment(Catalogue& catalogue, std::string_view source_path,
                                      std::string_view ybegin_line, std::uint64_t start_offset) {
  const std::string name = ybegin_name(ybegin_line);
  OutputFileRecord* record = catalogue.find_named(name);
  if (record == nullptr) {
    record = &catalogue.append_named(name, ybegin_number(ybegin_line, "total=", 1));
  }
  return add_to(*record, source_path, ybegin_number(ybegin_line, "part=", 1), start_offset);
}

AddedSegment uulist_add_uu_segment(Catalogue& catalogue, std::string_view source_path,
                                   std::string_view begin_line, std::uint64_t start_offset) {
  AddedSegment added = add_to(catalogue.append_unnamed(1), source_path, 1, start_offset);
  added.segment->headerless = true;
  uulist_set_uu_destname(added.record, begin_line);
  return added;
}

bool uuIsDuplicateSegment(const OutputFileRecord& record, const SegmentRecord& segment) {
  const auto it = record.first_by_part.find(segment.part);
  return it != record.first_by_part.end() && &record.segments[it->second] != &segment;
}

SegmentRecord* uuScanGetSegment(OutputFileRecord* record, std::int32_t part) {
  if (record == nullptr) {
    Debugger("uuScanGetSegment without a record");
    return nullptr;
  }
  const auto it = record->first_by_part.find(part);
  return it == record->first_by_part.end() ? nullptr : &record->segments[it->second];
}

int uulist_set_uu_destname(OutputFileRecord* record, std::string_view begin_line) {
  if (record == nullptr) {
    Debugger("begin line without a record");
    return 0;
  }
  record->kind = kKindUU;
  record->has_header = true;
  // "begin", blanks, the mode, blanks; only the blank separates fields.
  std::size_t i = begin_line.find(' ');
  if (i == std::string_view::npos) i = begin_line.size();
  while (i < begin_line.size() && begin_line[i] == ' ') ++i;
  while (i < begin_line.size() && begin_line[i] != ' ') ++i;
  while (i < begin_line.size() && begin_line[i] == ' ') ++i;
  set_dest_name(*record, begin_line.substr(i));
  return 1;
}

int uulist_note_uu_begin(OutputFileRecord* record, const SegmentRecord* segment,
                         std::string_view begin_line) {
  if (uulist_set_uu_destname(record, begin_line) == 0) return 0;
  if (segment == nullptr) return 1;
  const bool noted = std::any_of(record->begin_names.begin(), record->begin_names.end(),
                                 [&](const auto& entry) { return entry.first == segment->part; });
  if (!noted) record->begin_names.emplace_back(segment->part, record->dest_name);
  return 1;
}

int uulist_set_yenc_destname(OutputFileRecord* record, SegmentRecord* segment,
                             std::string_view ybegin_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=ybegin line without a record or segment");
    return 0;
  }
  const std::string_view fields = ybegin_fields(ybegin_line);
  std::string_view value;
  segment->yenc_part = 1;
  if (find_value(fields, "part=", value)) segment->yenc_part = decimal_value(value);
  if (uuIsDuplicateSegment(*record, *segment)) return 1;
  record->kind = kKindYEnc;
  record->has_header = true;
  record->yenc_total = 1;
  record->running_crc = 0xFFFFFFFFu;
  if (find_value(ybegin_line, "name=", value)) set_dest_name(*record, ybegin_name(ybegin_line));
  if (find_value(fields, "size=", value)) {
    record->yenc_size = decimal_value64(value);
    record->yenc_size_given = true;
  }
  if (find_value(fields, "total=", value)) record->yenc_total = decimal_value(value);
  if (find_value(fields, "line=", value)) record->yenc_line = decimal_value(value);
  return 1;
}

int uulist_set_yenc_part(OutputFileRecord* record, SegmentRecord* segment,
                         std::string_view ypart_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=ypart line without a segment");
    return 0;
  }
  note_headless_yenc(*record, *segment);
  std::string_view value;
  const bool begin = find_value(ypart_line, "begin=", value);
  if (begin) segment->yenc_begin = decimal_value64(value);
  const bool end = find_value(ypart_line, "end=", value);
  if (end) segment->yenc_end = decimal_value64(value);
  segment->yenc_range = begin && end;
  if (find_value(ypart_line, "pcrc32=", value)) segment->part_crc = hextoulong(value);
  if (find_value(ypart_line, " crc32=", value) && !uuIsDuplicateSegment(*record, *segment)) {
    record->file_crc = hextoulong(value);
  }
  return 1;
}

int uulist_set_yenc_end(OutputFileRecord* record, SegmentRecord* segment,
                        std::string_view yend_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=yend line without a segment");
    return 0;
  }
  note_headless_yenc(*record, *segment);
  std::string_view value;
  if (find_value(yend_line, "pcrc32=", value)) segment->part_crc = hextoulong(value);
  if (find_value(yend_line, " crc32=", value) && !uuIsDuplicateSegment(*record, *segment)) {
    record->file_crc = hextoulong(value);
  }
  return 1;
}

}  // namespace vantorelle
