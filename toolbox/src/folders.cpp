// folders.cpp - XDG folder lookup and the MIME type extended attribute.
#include "vantorelle/toolbox/folders.hpp"

#include <sys/xattr.h>

#include <cerrno>

#include "vantorelle/common/base_folders.hpp"

namespace vantorelle::toolbox {

using common::IsDirectory;
using common::MakeFolders;
using common::XdgBaseFolder;

OSErr FindStandardFolder(OSType folder_type, bool create, std::string& path) {
  path.clear();
  std::string folder;
  if (folder_type == kPreferencesFolderType) {
    folder = XdgBaseFolder("XDG_CONFIG_HOME", "/.config");
  } else if (folder_type == kTrashFolderType) {
    folder = XdgBaseFolder("XDG_DATA_HOME", "/.local/share");
    if (!folder.empty()) folder += "/Trash/files";
  } else {
    return paramErr;
  }
  if (folder.empty()) return fnfErr;
  if (!(create ? MakeFolders(folder) : IsDirectory(folder))) return fnfErr;
  path = folder;
  return noErr;
}

OSErr WriteMimeTypeAttribute(const std::string& path, std::string_view mime_type) {
  if (::setxattr(path.c_str(), "user.mime_type", mime_type.data(), mime_type.size(), 0) == 0) return noErr;
  return errno == ENOENT ? fnfErr : paramErr;
}

}  // namespace vantorelle::toolbox
