// run_report.hpp - the damage report of a run as JSON, for scripts and for repair tools.
//
// One object per output (its path, size, verdict, how its parts were laid
// out, each part's place, input, line and CRC, the parts missing and the
// ranges left as zeros), one per input (kept, deleted or trashed, and why)
// and every message of the run. The layout is versioned: fields are only
// ever added, and "report_version" changes if any changes meaning.
#pragma once

#include <string>

#include "run_results.hpp"

namespace vantorelle::app {

inline constexpr int kReportVersion = 1;

// What the run's removal step did to an input it handed over.
enum class Disposal { kNone, kDelete, kTrash };

// The report of `results`. Reads each input once more to give the line each
// part started at.
std::string RunReportJson(const RunResults& results, Disposal disposal);

}  // namespace vantorelle::app
