// catalogue_text.hpp - every field of a catalogue as text, for tests and fuzz targets that compare two.
#pragma once

#include <sstream>
#include <string>

#include "vantorelle/engine.hpp"

namespace vantorelle::test {

// Every field of every record and segment, one line each, in catalogue order.
inline std::string describe(const Catalogue& catalogue) {
  std::ostringstream os;
  for (const auto& r : catalogue.records()) {
    os << "record kind=" << r.kind << " name=" << r.dest_name << " subject=" << r.subject
       << " total=" << r.part_total << " min=" << r.part_min << " max=" << r.part_max
       << " ysize=" << r.yenc_size << " ytotal=" << r.yenc_total << " yline=" << r.yenc_line
       << " crc=" << r.file_crc << " running=" << r.running_crc << "\n";
    for (const auto& s : r.segments) {
      os << "  segment " << s.source_path << " part=" << s.part << " [" << s.start_offset << ", "
         << s.end_offset << "] ypart=" << s.yenc_part << " ybegin=" << s.yenc_begin
         << " yend=" << s.yenc_end << " pcrc=" << s.part_crc << "\n";
    }
  }
  return os.str();
}

}  // namespace vantorelle::test
