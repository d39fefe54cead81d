// part_offsets.cpp - where the parts of a yEnc file go when their "=ypart " lines say so.
#include "part_offsets.hpp"

#include <algorithm>

#include "hooks.hpp"

namespace vantorelle {

namespace {

// The byte range each part found gave, in part order; none when a part has
// no range inside the posted size.
std::vector<ByteRange> part_ranges(const OutputFileRecord& record) {
  std::vector<ByteRange> ranges;
  ranges.reserve(record.first_by_part.size());
  for (const auto& [part, index] : record.first_by_part) {
    const SegmentRecord& segment = record.segments[index];
    if (!segment.yenc_range || segment.yenc_begin < 1 || segment.yenc_end < segment.yenc_begin ||
        segment.yenc_end > record.yenc_size) {
      return {};
    }
    ranges.push_back({static_cast<std::uint64_t>(segment.yenc_begin - 1),
                      static_cast<std::uint64_t>(segment.yenc_end - segment.yenc_begin + 1)});
  }
  return ranges;
}

}  // namespace

bool PartsHaveOffsets(const OutputFileRecord& record) {
  if (record.kind != kKindYEnc || !record.yenc_size_given || record.yenc_size <= 0) return false;
  std::vector<ByteRange> ranges = part_ranges(record);
  if (ranges.empty()) return false;
  // The file may be no larger than its parts could make it, each as large as
  // the largest found: a size= far beyond that would be a vast sparse file.
  const auto largest = std::max_element(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) {
                         return a.length < b.length;
                       })->length;
  const auto parts = static_cast<std::uint64_t>(std::max({record.part_total, record.part_max, 1}));
  if (static_cast<std::uint64_t>(record.yenc_size) / parts > largest) return false;
  std::sort(ranges.begin(), ranges.end(), [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  for (std::size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].offset < ranges[i - 1].offset + ranges[i - 1].length) return false;
  }
  return true;
}

bool PartsFill(const OutputFileRecord& record, std::uint64_t input_bytes) {
  const auto size = static_cast<std::uint64_t>(record.yenc_size);
  return input_bytes >= size && HolesIn(part_ranges(record), size).empty();
}

std::vector<ByteRange> WrittenBefore(std::vector<ByteRange> ranges, std::uint64_t end) {
  std::erase_if(ranges, [end](const ByteRange& r) { return r.offset >= end; });
  for (ByteRange& r : ranges) r.length = std::min(r.length, end - r.offset);
  return ranges;
}

std::vector<ByteRange> HolesIn(std::vector<ByteRange> filled, std::uint64_t size) {
  std::sort(filled.begin(), filled.end(), [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  std::vector<ByteRange> holes;
  std::uint64_t next = 0;  // the first byte not known to be filled
  for (const ByteRange& range : filled) {
    if (range.length == 0) continue;
    if (range.offset > next) holes.push_back({next, std::min(range.offset, size) - next});
    next = std::max(next, range.offset + range.length);
    if (next >= size) break;
  }
  if (next < size) holes.push_back({next, size - next});
  return holes;
}

void ReportHoles(const std::vector<ByteRange>& holes, const std::string& path) {
  for (std::size_t i = 0; i < holes.size() && i < kMaxListedHoles; ++i) {
    dispatch::MsgCallback(kLevelWarning, "Filled %lld bytes at offset %lld of '%s' with zeros",
                          static_cast<long long>(holes[i].length), static_cast<long long>(holes[i].offset),
                          path.c_str());
  }
  if (holes.size() > kMaxListedHoles) {
    dispatch::MsgCallback(kLevelWarning, "Filled %zu ranges of '%s' with zeros", holes.size(), path.c_str());
  }
}

}  // namespace vantorelle
