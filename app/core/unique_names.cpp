// unique_names.cpp - output names made safe and unique in their folder.
#include "unique_names.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <tuple>
#include <utility>

#include "file_system.hpp"
#include "vantorelle/common/utf8_cut.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

constexpr std::size_t kDefaultNameMax = 255;

using SearchKey = std::tuple<std::string, std::string, std::string>;

// Where each search of this run stopped: the number to try next.
std::map<SearchKey, long>& NextNumbers() {
  static std::map<SearchKey, long> numbers;
  return numbers;
}

// The search each path of this run came from, for the move that finds the
// path taken after all.
std::map<std::string, SearchKey>& ChosenPaths() {
  static std::map<std::string, SearchKey> chosen;
  return chosen;
}

std::size_t NameLimit(const std::string& folder) {
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  return limit > 0 ? static_cast<std::size_t>(limit) : kDefaultNameMax;
}

// Cuts text to at most n bytes, and back to the start of a UTF-8 character.
std::string Cut(const std::string& text, std::size_t n) { return std::string(common::CutToLimit(text, n)); }

// base + suffix + ext within limit bytes: the base gives way first, then the
// end of the extension.
std::string Fitted(const std::string& base, const std::string& suffix, const std::string& ext, std::size_t limit) {
  const std::size_t fixed = suffix.size() + ext.size();
  if (fixed <= limit) return Cut(base, limit - fixed) + suffix + ext;
  return suffix + Cut(ext, limit > suffix.size() ? limit - suffix.size() : 0);
}

}  // namespace

std::string WithoutControlCharacters(std::string name) {
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = '_';
  }
  return name;
}

std::string SafeComponent(std::string name) {
  name = WithoutControlCharacters(std::move(name));
  std::replace(name.begin(), name.end(), '/', '_');
  return name;
}

bool IsFreeOutputName(const std::string& path) {
  // Another run's output in the making, or one a killed run left behind.
  if (uuIsTemporaryOutputName(path.substr(path.find_last_of('/') + 1))) return false;
  struct stat st;
  // Any other failure leaves the name to the open, which reports it.
  if (file_system().LinkStatus(path, st) != 0) return true;
  return S_ISREG(st.st_mode) && st.st_size == 0 && st.st_nlink == 1;
}

std::string UniqueOutputPath(const std::string& folder, const std::string& base, const std::string& ext) {
  const std::size_t limit = NameLimit(folder);
  const SearchKey key{folder, base, ext};
  std::string path = folder + Fitted(base, "", ext, limit);
  if (!IsFreeOutputName(path)) {
    long& next = NextNumbers()[key];
    for (;; ++next) {
      path = folder + Fitted(base, "-(" + std::to_string(next) + ")", ext, limit);
      if (IsFreeOutputName(path)) break;
    }
    ++next;
  }
  ChosenPaths()[path] = key;
  return path;
}

std::string NextOutputPath(const std::string& wanted, int /*attempt*/) {
  const auto chosen = ChosenPaths().find(wanted);
  if (chosen != ChosenPaths().end()) {
    const auto& [folder, base, ext] = chosen->second;
    return UniqueOutputPath(folder, base, ext);
  }
  // Not a name of ours: numbered as the engine would number it.
  const auto slash = wanted.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "" : wanted.substr(0, slash + 1);
  std::string base = wanted.substr(folder.size());
  const auto dot = base.rfind('.');
  const std::string ext = dot == std::string::npos ? "" : base.substr(dot);
  base.resize(base.size() - ext.size());
  return UniqueOutputPath(folder, base, ext);
}

void ResetUniqueNames() {
  NextNumbers().clear();
  ChosenPaths().clear();
}

}  // namespace vantorelle::app
