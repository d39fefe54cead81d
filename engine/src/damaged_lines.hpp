// damaged_lines.hpp - the data lines of one output file that could not be used, as they are reported.
//
// A uuencoded data line that is dropped (the wrong length for its count, a
// short line amid the data, an empty line where data goes on) loses bytes of
// the output, so each is a warning naming the input line. One badly damaged
// input could bring thousands: the first kMaxListed are listed, and one line
// at the end counts them all.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace vantorelle {

class DamagedLines {
 public:
  static constexpr std::uint64_t kMaxListed = 100;

  // name: the output file the count line names.
  explicit DamagedLines(std::string name) : name_(std::move(name)) {}

  // One dropped line: its number in the input and the input's path.
  void report(std::uint64_t line_number, const std::string& input_path);

  // The count line, when more were found than listed.
  void report_count() const;

  std::uint64_t count() const { return count_; }

 private:
  std::string name_;
  std::uint64_t count_ = 0;
};

}  // namespace vantorelle
