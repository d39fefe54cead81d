// fuzz_scanner.cpp - fuzz target: the scanner filling one catalogue from several input files.
//
// Besides surviving any bytes, the catalogue must keep its own promises:
// names within the length limit, segments inside their file, the part index
// pointing at segments of that part, part_min never above 1.
#include <map>
#include <memory>

#include "fuzz_support.hpp"

namespace vantorelle::fuzz {
namespace {

void check_catalogue(const Catalogue& catalogue, const std::map<std::string, std::size_t>& sizes) {
  for (const OutputFileRecord& r : catalogue.records()) {
    check(r.dest_name.size() <= kMaxNameLength, "dest_name over the limit");
    check(r.part_min <= 1, "part_min above 1");
    check(!r.segments.empty(), "record without segments");
    for (const SegmentRecord& s : r.segments) {
      const auto size = sizes.find(s.source_path);
      check(size != sizes.end(), "segment of an unknown file");
      check(s.start_offset <= size->second, "segment starts past the end of its file");
      check(s.end_offset <= size->second, "segment ends past the end of its file");
      check(s.part >= r.part_min && s.part <= r.part_max, "part outside the record's range");
    }
    for (const auto& [part, index] : r.first_by_part) {
      check(index < r.segments.size(), "part index past the segments");
      check(r.segments[index].part == part, "part index points at another part");
      for (std::size_t i = 0; i < index; ++i) {
        check(r.segments[i].part != part, "part index is not the first segment of its part");
      }
    }
  }
}

}  // namespace
}  // namespace vantorelle::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz::MessageLog log;
  std::vector<std::unique_ptr<fuzz::MemFile>> files;
  std::map<std::string, std::size_t> sizes;
  Catalogue catalogue;
  for (std::string_view piece : fuzz::split_files(text, 4)) {
    files.push_back(std::make_unique<fuzz::MemFile>(piece));
    sizes[files.back()->path()] = piece.size();
    uuScanFile(catalogue, files.back()->path());
  }
  fuzz::check_catalogue(catalogue, sizes);
  return 0;
}
