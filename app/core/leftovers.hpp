// leftovers.hpp - finding the temporary files that a killed or failed run left in an output folder.
#pragma once

#include <string>
#include <vector>

namespace vantorelle::app {

inline constexpr const char* kLeftoverFormat = "Left over from an interrupted run: '%s'";

// The files in `folder` (empty or ending in '/') under an output's temporary
// name that no live run is writing: a writer keeps its file locked until it
// has moved it to its own name. A just-made empty one may be a writer's
// before it took its lock, and is passed over. Sorted by name.
std::vector<std::string> FindLeftovers(const std::string& folder);

// Names each of them once at level 1 through Say(); they are left alone.
void ReportLeftovers(const std::string& folder);

}  // namespace vantorelle::app
