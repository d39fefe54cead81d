// part_lines.hpp - the input line each decoded part started at, for a damage report.
#pragma once

#include <vector>

#include "run_results.hpp"

namespace vantorelle::app {

// Fills in source_line of every part of `outputs`, reading each input once
// (before the run disposes of it). Lines count as the decoder counts them:
// CR, LF and CR LF each end one. An input that cannot be read leaves 0.
void CountPartLines(std::vector<OutputResult>& outputs);

}  // namespace vantorelle::app
