// base_folders.hpp - the XDG base folders and making a folder with its parents.
#pragma once

#include <string>
#include <string_view>

namespace vantorelle::common {

// The folder that the XDG base-directory variable `variable` names when it
// holds an absolute path (a relative value is ignored, as the XDG rules
// say), else $HOME followed by `fallback` (e.g. "/.local/share"); empty when
// neither is known. Trailing '/' are dropped ("/" itself stays).
std::string XdgBaseFolder(const char* variable, std::string_view fallback);

// True when `path` names a directory, following links.
bool IsDirectory(const std::string& path);

// Makes `path` and its missing parents, each with mode 0700. True when
// `path` is a directory afterwards.
bool MakeFolders(const std::string& path);

}  // namespace vantorelle::common
