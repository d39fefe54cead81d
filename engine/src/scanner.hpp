// scanner.hpp - one input file read through for the scanner, and its lines taken into the catalogue.
//
// Reading touches nothing shared and may run on any thread; taking the
// findings in changes the catalogue and calls the busy hook, so it runs on
// the caller's thread, file after file in scan order. Together they do what
// uuScanFile does, less its announcement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vantorelle/engine.hpp"

namespace vantorelle {

// What reading one input file found: the lines that might be examined, with
// their positions, and between them how far the reading got and how many
// busy polls the lines read on the way owe.
struct FileScan {
  struct Step {
    std::uint64_t read_pos;       // the position reached (after the line, if any)
    std::uint64_t previous_pos;   // where the line begins, as the scanner counts it
    std::size_t polls;            // polls owed up to here
    std::optional<std::string> line;
  };
  bool opened = false;
  std::string first_line;  // examined whatever follows
  std::vector<Step> steps;
};

FileScan read_input(const std::string& path);

// The catalogue changes and busy polls that scanning the file makes.
void take_findings(Catalogue& catalogue, const std::string& path, const FileScan& scan);

}  // namespace vantorelle
