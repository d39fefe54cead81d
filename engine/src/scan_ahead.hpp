// scan_ahead.hpp - an input file read through for the scanner ahead of its turn, on any thread.
//
// Reading a file and finding its lines touches nothing shared; taking them
// into the catalogue changes it and calls the hooks, so that is left to
// uuScanFile on the caller's thread, file after file in scan order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantorelle {

// What reading one input file found, step by step as the scanner walks it:
// each run of lines skipped at once, and each line read on its own (with its
// text when examining it can act on it).
struct FileScan {
  enum Kind { kSkipped, kLine, kLast };
  struct Step {
    Kind kind;
    std::uint64_t read_pos;    // the position reached (after the run or the line)
    std::uint64_t line_start;  // where the line begins
    std::size_t lines;         // lines in a skipped run
    bool errors;               // whether a read had failed by then
    std::size_t text_at;       // the line's text in `texts`, if kept
    std::size_t text_size;
  };
  // At most this much is kept and read of one file; a file with more is read
  // again in its turn (so what is held stays small, a wait for one file stays
  // short, and so do the pauses between the polls).
  static constexpr std::size_t kMostKept = 1 << 20;  // bytes of text
  static constexpr std::size_t kMostSteps = 1 << 16;
  static constexpr std::uint64_t kMostRead = 64 << 20;

  bool complete = false;  // read to its end, or not to be opened
  bool opened = false;
  bool first_examined = false;
  std::string first;
  std::vector<Step> steps;
  std::string texts;  // the kept lines, one after another
};

// Reads the file through (scanner.cpp), unless `cancel` is set meanwhile.
FileScan read_input(const std::string& path, const std::atomic<bool>& cancel);

// The file read for uuScanFile, when a living ScanAhead has it next in turn;
// it may be read here and now, or waited for.
std::optional<FileScan> take_scanned_ahead(const std::string& path);

}  // namespace vantorelle
