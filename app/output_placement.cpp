// output_placement.cpp - where output files are created and under which unique names.
#include "output_placement.hpp"

#include <utility>

#include "run_state.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

constexpr std::size_t kLongName = 128;
constexpr std::size_t kMaxName = 255;

std::string folder_prefix(const RunState& state) {
  std::string prefix = state.path_;
  if (!state.directory_.empty()) prefix += state.directory_ + "/";
  return prefix;
}

}  // namespace

std::string FNameFilter(std::string& name, const FilenameQuery& query) {
  RunState& state = run_state();
  if (name.size() >= kLongName && query) {
    std::string answer = state.dname;
    if (query(name, answer)) name = answer.substr(0, kMaxName);
  }
  name = SafeComponent(std::move(name));

  std::string extension;
  if (const auto dot = name.rfind('.'); dot != std::string::npos) {
    extension = name.substr(dot);
    name.resize(dot);
  }
  const std::string prefix = folder_prefix(state);
  state.dname = UniqueOutputPath(prefix, name, extension);
  return state.dname;
}

}  // namespace vantorelle::app
