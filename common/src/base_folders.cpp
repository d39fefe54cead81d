// base_folders.cpp - the XDG base folders and making a folder with its parents.
#include "vantorelle/common/base_folders.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace vantorelle::common {
namespace {

constexpr ::mode_t kPrivateFolderMode = 0700;

}  // namespace

std::string XdgBaseFolder(const char* variable, std::string_view fallback) {
  const char* value = std::getenv(variable);
  std::string base;
  if (value && value[0] == '/') {
    base = value;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return {};
    base = std::string(home);
    base += fallback;
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}

bool IsDirectory(const std::string& path, StatusCall status) {
  struct stat info {};
  return status(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool MakeFolders(const std::string& path, StatusCall status, MakeFolderCall make) {
  if (IsDirectory(path, status)) return true;
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), status, make)) return false;
  return make(path.c_str(), kPrivateFolderMode) == 0 || (errno == EEXIST && IsDirectory(path, status));
}

}  // namespace vantorelle::common
