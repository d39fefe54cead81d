// part_offsets.hpp - where the parts of a yEnc file go when their "=ypart " lines say so.
//
// A posting with a part missing or cut short would shift every later byte if
// the parts were simply written one after another; repair data then finds
// nothing in place. Where each part gave its byte range, it is written there
// instead, and the bytes no part filled are reported as zeros.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vantorelle/engine.hpp"

namespace vantorelle {

// Whether the record's parts can be written at their ranges: a yEnc record
// with a posted size that its parts can fill (at most the part count times
// the largest range), every part found with a range inside it, none
// overlapping another.
bool PartsHaveOffsets(const OutputFileRecord& record);

// Of a record whose parts have offsets: whether the parts found cover the
// whole file and their `input_bytes` could hold it (yEnc never makes more
// bytes than it reads), so that every byte is about to be written.
bool PartsFill(const OutputFileRecord& record, std::uint64_t input_bytes);

// The ranges of [0, size) that no range in `filled` covers, ascending.
std::vector<ByteRange> HolesIn(std::vector<ByteRange> filled, std::uint64_t size);

// The parts of the ranges that lie before `end`.
std::vector<ByteRange> WrittenBefore(std::vector<ByteRange> ranges, std::uint64_t end);

// "Filled %lld bytes at offset %lld of '%s' with zeros" for each hole, at
// most kMaxListedHoles of them, then a line that counts them all.
void ReportHoles(const std::vector<ByteRange>& holes, const std::string& path);
inline constexpr std::size_t kMaxListedHoles = 100;

}  // namespace vantorelle
