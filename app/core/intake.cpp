// intake.cpp - the paths a front end was given, made into the inputs of one decode run.
#include "intake.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "input_files.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {

RunInputs TakeInputs(const std::vector<std::string>& given) {
  RunInputs inputs;
  std::map<std::pair<::dev_t, ::ino_t>, std::string> taken;
  for (const std::string& path : given) {
    const std::string resolved = ResolveInputPath(path);
    InputCheck check = CheckInputFile(resolved);
    if (!check.problem.empty()) {
      inputs.refused.push_back({path, std::move(check.problem)});
      continue;
    }
    const auto [first, fresh] = taken.try_emplace({check.device, check.inode}, resolved);
    if (!fresh) {
      inputs.skipped.push_back({path, first->second});
      continue;
    }
    if (inputs.paths.empty()) inputs.output_folder = InputFolder(resolved);
    inputs.paths.push_back(resolved);
  }
  std::sort(inputs.paths.begin(), inputs.paths.end(),
            [](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
  return inputs;
}

std::string SameFileNote(const SkippedInput& skipped) {
  char text[kMaxMessageLength + 1];
  std::snprintf(text, sizeof text, kSameFileFormat, skipped.given.c_str(), skipped.taken.c_str());
  return text;
}

int compare(const std::string& a, const std::string& b) { return a.compare(b); }

}  // namespace vantorelle::app
