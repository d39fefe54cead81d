// output_placement.cpp - where output files are created and under which unique names.
#include "output_placement.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "run_state.hpp"

namespace vantorelle::app {
namespace {

constexpr std::size_t kLongName = 128;
constexpr std::size_t kMaxName = 255;

// A candidate is free when nothing of that name exists or it is an empty
// regular file, which is overwritten. Folders and links are never taken over.
bool is_free(const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return true;
  return S_ISREG(st.st_mode) && st.st_size == 0;
}

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
  std::replace(name.begin(), name.end(), '/', '_');

  std::string extension;
  if (const auto dot = name.rfind('.'); dot != std::string::npos) {
    extension = name.substr(dot);
    name.resize(dot);
  }
  const std::string prefix = folder_prefix(state);
  state.dname = prefix + name + extension;
  for (long k = 0; !is_free(state.dname); ++k) {
    state.dname = prefix + name + "-(" + std::to_string(k) + ")" + extension;
  }
  return state.dname;
}

}  // namespace vantorelle::app
