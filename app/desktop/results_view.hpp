// results_view.hpp - the progress window at the end of a run: one row per output and input, Open Folder and Close.
#pragma once

#include <cstdint>
#include <string>

#include "run_results.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

inline constexpr std::string_view kFinishedStatus = "Finished";
inline constexpr std::string_view kStoppedStatus = "Stopped";
inline constexpr std::string_view kInputKeptText = "input kept";
inline constexpr std::string_view kInputDisposedText = "input disposed of";
inline constexpr std::string_view kRepairingStatus = "Repairing from PAR2…";

// "512 bytes", "1.5 KiB", "3.0 MiB", "1.2 GiB".
std::string SizeText(std::uint64_t bytes);

// The rows of the results list: name, size and verdict of each output, each
// PAR2 set with its summary, then each input with whether it was kept or
// disposed of.
std::vector<std::vector<std::string>> ResultRows(const RunResults& results);

// The folder that Open Folder shows: that of the first output written, or
// the run's output folder.
std::string ResultsFolder(const RunResults& results, const std::string& run_folder);

// Turns the progress window into the results view and waits until it is
// closed (Close, Escape, its close button); Open Folder shows the folder.
// "Repair now?" is offered while a PAR2 set can be repaired: it repairs every
// such set, hands over the inputs whose outputs are now exact (when the run
// was to dispose of inputs) and shows the rows again.
void ShowResults(toolbox::Toolbox& tb, toolbox::DialogRef progress, RunResults& results);

}  // namespace vantorelle::app
