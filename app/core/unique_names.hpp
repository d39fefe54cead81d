// unique_names.hpp - output names made safe and unique in their folder.
#pragma once

#include <string>

namespace vantorelle::app {

// A name from the data made safe as one path component: '/' and the control
// characters 0x00-0x1F and 0x7F become '_', so a name can neither lead out of
// its folder nor reach the terminal or the disk as escape sequences and
// line breaks.
std::string SafeComponent(std::string name);

// The same for control characters alone ('/' stays).
std::string WithoutControlCharacters(std::string name);

// Whether an output may be created under this path: nothing of that name
// exists, or an empty regular file with no other link to it (which is then
// replaced when the output is finished). Folders, links, the temporary names
// of outputs being written (or left by a killed run) and everything else
// are left alone.
bool IsFreeOutputName(const std::string& path);

// The first free path folder + base + ext, folder + base + "-(0)" + ext,
// folder + base + "-(1)" + ext, ... Within one run the search for a folder,
// base and extension goes on from the number it last gave, so many outputs
// of one name take linear time. A component longer than the folder's name
// limit is shortened at the end of the base (between characters, never
// inside a UTF-8 sequence) so that the number and the extension stay whole.
// folder is empty or ends in '/'.
std::string UniqueOutputPath(const std::string& folder, const std::string& base, const std::string& ext);

// The engine's next-name call: `wanted` was given by UniqueOutputPath but has
// been taken by the time its output is finished (another run finished first):
// the search it came from goes on to the next free number.
std::string NextOutputPath(const std::string& wanted, int attempt);

// Forgets where the searches of the previous run stopped; each run starts here.
void ResetUniqueNames();

}  // namespace vantorelle::app
