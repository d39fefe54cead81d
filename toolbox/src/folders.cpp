// folders.cpp - XDG folder lookup and the MIME type extended attribute.
#include "vantorelle/toolbox/folders.hpp"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>

namespace vantorelle::toolbox {
namespace {

// The XDG variable if it holds an absolute path, else $HOME + fallback.
std::string BaseFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return {};
  return std::string(home) + fallback;
}

void StripTrailingSlashes(std::string& path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes `path` and its missing parents.
bool MakeFolders(const std::string& path) {
  if (IsDirectory(path)) return true;
  const auto slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

}  // namespace

OSErr FindStandardFolder(OSType folder_type, bool create, std::string& path) {
  path.clear();
  std::string folder;
  if (folder_type == kPreferencesFolderType) {
    folder = BaseFolder("XDG_CONFIG_HOME", "/.config");
  } else if (folder_type == kTrashFolderType) {
    folder = BaseFolder("XDG_DATA_HOME", "/.local/share");
    if (!folder.empty()) folder += "/Trash/files";
  } else {
    return paramErr;
  }
  if (folder.empty()) return fnfErr;
  StripTrailingSlashes(folder);
  if (!(create ? MakeFolders(folder) : IsDirectory(folder))) return fnfErr;
  path = folder;
  return noErr;
}

OSErr WriteMimeTypeAttribute(const std::string& path, std::string_view mime_type) {
  if (::setxattr(path.c_str(), "user.mime_type", mime_type.data(), mime_type.size(), 0) == 0) return noErr;
  return errno == ENOENT ? fnfErr : paramErr;
}

}  // namespace vantorelle::toolbox
