// file_typing.hpp - the post-process hook: records an output file's type by its extension.
#pragma once

#include <string>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// Looks the output's extension up in the desktop's MIME database and stores
// the type in the file's user.mime_type attribute. A path without any '.'
// is left alone; no mapping, or a file system that takes no attribute,
// changes nothing and is not reported. Always returns 0.
int PostProcessOutput(toolbox::Toolbox& tb, const std::string& path);

}  // namespace vantorelle::app
