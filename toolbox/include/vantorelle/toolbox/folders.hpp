// folders.hpp - where the Preferences folder and the Trash lie, and file type attributes.
//
// Preferences: $XDG_CONFIG_HOME, else ~/.config.
// Trash: $XDG_DATA_HOME/Trash/files, else ~/.local/share/Trash/files.
// Relative XDG values are ignored, as the XDG base directory rules say.
#pragma once

#include <string>
#include <string_view>

#include "vantorelle/toolbox/types.hpp"

namespace vantorelle::toolbox {

// `path` := the folder of `folder_type` (kPreferencesFolderType or
// kTrashFolderType), without a trailing '/'. When `create`, missing folders
// on the way are made (mode 0700, as the XDG rules ask). fnfErr when the
// folder does not exist (or cannot be made) or no home is known, paramErr for
// another type.
OSErr FindStandardFolder(OSType folder_type, bool create, std::string& path);

// Stores `mime_type` in the file's user.mime_type extended attribute.
// fnfErr when the file is missing, paramErr when its file system refuses.
OSErr WriteMimeTypeAttribute(const std::string& path, std::string_view mime_type);

}  // namespace vantorelle::toolbox
