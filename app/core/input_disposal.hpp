// input_disposal.hpp - what becomes of an input file after decoding: kept, deleted or moved to the Trash.
//
// The Trash is the freedesktop.org home Trash: $XDG_DATA_HOME/Trash (else
// ~/.local/share/Trash) with its files/ and info/ folders. A file moved there
// gets a name that is free in both folders and an info/NAME.trashinfo that
// records its original path and the time, so the desktop's Trash lists it and
// can put it back. Nothing already in the Trash is ever replaced. An input on
// another file system than the Trash is not copied: the move is reported as
// failed and the file stays where it is.
//
// No Qt and no toolbox here: the command line uses this too.
#pragma once

#include <string>
#include <string_view>

namespace vantorelle::app {

// The home Trash's files folder, without a trailing '/'; it and its sibling
// info folder are made (mode 0700) when missing. "./" when no home is known
// or the folders cannot be made.
std::string FindTrashPath();

// The Trash's files folder found at start-up, or "./" (the application
// finds it through the toolbox's folder lookup).
extern std::string trashpath;

// The removal step for one input file:
//   neither flag:   nothing happens; 0.
//   delete only:    the file is removed; the result of remove (0 or -1).
//   trash only:     the file is moved into trash_files_path; 0, or -1 when the
//                   move fails, after the line "%d -> %s %s\n" (result, input
//                   path, target path) on standard error. The file then stays.
//   both:           the file is removed, the move then fails and is reported
//                   as above; -1.
// When trash_files_path is a Trash's files folder (".../Trash/files"), the
// move follows the Trash rules above; otherwise (the "./" fallback) the file
// is moved in under its own name, or its name with a number added when that
// is taken; nothing there is replaced either. A failed deletion or move is
// also said at level 0 through Say() (kDeleteFailedFormat,
// kTrashFailedFormat: the path and the system's reason).
inline constexpr const char* kDeleteFailedFormat = "Unable to delete '%s': %s";
inline constexpr const char* kTrashFailedFormat = "Unable to move '%s' to the Trash: %s";
int DisposeInput(const std::string& path, bool delete_inputs, bool trash_inputs, const std::string& trash_files_path);

// The application's input-removal hook: DisposeInput with the preference
// record's delete_inputs and trash_inputs and `trashpath`. Defined in the
// library vantorelle_shell_ui, which holds the preference record.
int InputRemoveCallBack(const std::string& path);

// Path as a .trashinfo holds it: every byte but ASCII letters, digits,
// '-', '.', '_', '~' and '/' becomes %XX (upper-case hex).
std::string PercentEncodePath(std::string_view path);

// The name a file gets in the Trash on the given try: try 0 is the name
// itself; later tries number it before its extension ("a.jpg" -> "a.2.jpg",
// "README" -> "README.2", ".profile" -> ".profile.2").
std::string TrashCandidateName(std::string_view name, int attempt);

}  // namespace vantorelle::app
