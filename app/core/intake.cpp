// intake.cpp - the paths a front end was given, made into the inputs of one decode run.
#include "intake.hpp"

#include <algorithm>
#include <set>
#include <utility>

#include "input_files.hpp"

namespace vantorelle::app {

RunInputs TakeInputs(const std::vector<std::string>& given) {
  RunInputs inputs;
  std::set<std::pair<::dev_t, ::ino_t>> taken;
  for (const std::string& path : given) {
    const std::string resolved = ResolveInputPath(path);
    InputCheck check = CheckInputFile(resolved);
    if (!check.problem.empty()) {
      inputs.refused.push_back({path, std::move(check.problem)});
      continue;
    }
    if (!taken.emplace(check.device, check.inode).second) continue;
    if (inputs.paths.empty()) inputs.output_folder = InputFolder(resolved);
    inputs.paths.push_back(resolved);
  }
  std::sort(inputs.paths.begin(), inputs.paths.end(),
            [](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
  return inputs;
}

int compare(const std::string& a, const std::string& b) { return a.compare(b); }

}  // namespace vantorelle::app
