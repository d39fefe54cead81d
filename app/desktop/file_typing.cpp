// file_typing.cpp - PostProcessOutput.
#include "file_typing.hpp"

namespace vantorelle::app {

int PostProcessOutput(toolbox::Toolbox& tb, const std::string& path) {
  // The '.' is looked for in the whole path, folders included, as the mapping
  // itself decides by the end of the name.
  if (path.find('.') == std::string::npos) return 0;
  std::string mime_type;
  // The whole path is passed, however long: cutting it would cut off the
  // extension of a deep output path.
  if (tb.MapFileName(path, mime_type) != toolbox::noErr || mime_type.empty()) return 0;
  tb.SetFileMimeType(path, mime_type);
  return 0;
}

}  // namespace vantorelle::app
