// output_placement.hpp - where output files are created and under which unique names.
#pragma once

#include <functional>
#include <string>

namespace vantorelle::app {

// Asks the user to shorten a name of 128 characters or more. result holds the
// previous output path on entry; returns false when the name is to be kept.
using FilenameQuery = std::function<bool(const std::string& long_name, std::string& result)>;

// The file-name filter: builds the output path below path_ (and directory_)
// from the name found in the encoded data, made unique by "%s-(%d)" before the
// extension while anything but an empty regular file with no other link has
// that name (see unique_names.hpp, also for names too long for the folder).
// Every '/' and control character in the name becomes '_', so a name never
// leads out of the folder and never carries escape sequences or line breaks.
// The name is changed in place (it ends up without its extension). Without a
// query, long names are used as they are.
std::string FNameFilter(std::string& name, const FilenameQuery& query = {});

}  // namespace vantorelle::app
