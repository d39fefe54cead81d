// base_folders.hpp - the XDG base folders and making a folder with its parents.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace vantorelle::common {

// The folder that the XDG base-directory variable `variable` names when it
// holds an absolute path (a relative value is ignored, as the XDG rules
// say), else $HOME followed by `fallback` (e.g. "/.local/share"); empty when
// neither is known. Trailing '/' are dropped ("/" itself stays).
std::string XdgBaseFolder(const char* variable, std::string_view fallback);

// stat(2) and mkdir(2), replaceable so that a caller's tests can have them fail.
using StatusCall = int (*)(const char* path, struct ::stat* info);
using MakeFolderCall = int (*)(const char* path, ::mode_t mode);

// True when `path` names a directory, following links.
bool IsDirectory(const std::string& path, StatusCall status = ::stat);

// Makes `path` and its missing parents, each with mode 0700. True when
// `path` is a directory afterwards.
bool MakeFolders(const std::string& path, StatusCall status = ::stat, MakeFolderCall make = ::mkdir);

}  // namespace vantorelle::common
