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

AddedSegment uulist_add_sement(Catalogue& catalogue, std::string_view source_path,
                               std::string_view key, std::int32_t part, std::int32_t total,
                               std::uint64_t start_offset) {
  OutputFileRecord* record = catalogue.find(key);
  if (record == nullptr) record = &catalogue.append(key, total);
  update_part_range(*record, part);
  SegmentRecord& segment = append_segment(*record, source_path, part, start_offset);
  return {record, &segment};
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
  // "begin", blanks, the mode, blanks; only the blank separates fields.
  std::size_t i = begin_line.find(' ');
  if (i == std::string_view::npos) i = begin_line.size();
  while (i < begin_line.size() && begin_line[i] == ' ') ++i;
  while (i < begin_line.size() && begin_line[i] != ' ') ++i;
  while (i < begin_line.size() && begin_line[i] == ' ') ++i;
  set_dest_name(*record, begin_line.substr(i));
  return 1;
}

int uulist_set_yenc_destname(OutputFileRecord* record, SegmentRecord* segment,
                             std::string_view ybegin_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=ybegin line without a record or segment");
    return 0;
  }
  record->kind = kKindYEnc;
  record->yenc_total = 1;
  segment->yenc_part = 1;
  record->running_crc = 0xFFFFFFFFu;
  std::string_view value;
  if (find_value(ybegin_line, "name=", value)) {
    std::string name(value);
    strtrim(name);
    set_dest_name(*record, name);
  }
  if (find_value(ybegin_line, "size=", value)) record->yenc_size = decimal_value(value);
  if (find_value(ybegin_line, "part=", value)) segment->yenc_part = decimal_value(value);
  if (find_value(ybegin_line, "total=", value)) record->yenc_total = decimal_value(value);
  if (find_value(ybegin_line, "line=", value)) record->yenc_line = decimal_value(value);
  return 1;
}

int uulist_set_yenc_part(OutputFileRecord* record, SegmentRecord* segment,
                         std::string_view ypart_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=ypart line without a segment");
    return 0;
  }
  std::string_view value;
  if (find_value(ypart_line, "begin=", value)) segment->yenc_begin = decimal_value(value);
  if (find_value(ypart_line, "end=", value)) segment->yenc_end = decimal_value(value);
  if (find_value(ypart_line, "pcrc32=", value)) segment->part_crc = hextoulong(value);
  if (find_value(ypart_line, " crc32=", value)) record->file_crc = hextoulong(value);
  return 1;
}

int uulist_set_yenc_end(OutputFileRecord* record, SegmentRecord* segment,
                        std::string_view yend_line) {
  if (record == nullptr || segment == nullptr) {
    Debugger("=yend line without a segment");
    return 0;
  }
  std::string_view value;
  if (find_value(yend_line, "pcrc32=", value)) segment->part_crc = hextoulong(value);
  if (find_value(yend_line, " crc32=", value)) record->file_crc = hextoulong(value);
  return 1;
}

}  // namespace vantorelle
