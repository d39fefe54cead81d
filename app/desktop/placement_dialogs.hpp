// placement_dialogs.hpp - the questions of output placement: file name, run directory, subject length.
//
// Each shows its modal dialog, beeps at a refused answer and stays open until
// OK or Cancel (or, for the file name, "Use Long Name"). Item 1 is OK and the
// default button, item 2 Cancel, item 3 the edit text.
#pragma once

#include <string>

#include "output_placement.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// Item numbers of the three dialogs.
inline constexpr toolbox::DialogItemIndex kPlacementOK = 1;
inline constexpr toolbox::DialogItemIndex kPlacementCancel = 2;
inline constexpr toolbox::DialogItemIndex kPlacementField = 3;
inline constexpr toolbox::DialogItemIndex kFileNamePrevious = 4;  // dialog 140: the previous output
inline constexpr toolbox::DialogItemIndex kFileNameKeepLong = 9;  // dialog 140: use the long name
inline constexpr toolbox::DialogItemIndex kDirectoryPrompt = 4;   // dialog 141: the prompt, or why not
inline constexpr toolbox::DialogItemIndex kDirectoryBrowse = 5;   // dialog 141: choose a folder

// Dialog 140, with a beep: offers long_name for shortening and shows the
// previous output path (result on entry). OK with a name of fewer than 128
// characters (a UTF-8 sequence counts once) puts it into result: kUseResult;
// a longer one is refused with a beep. "Use Long Name" gives kKeepLong,
// Cancel kCancelRun (result unchanged).
NameAnswer QuerryFilename(toolbox::Toolbox& tb, const std::string& long_name, std::string& result);

// Dialog 141, with a beep: empties directory_ and asks for the run's output
// directory, proposing `proposal`. OK with fewer than 128 characters makes
// the text, unchanged, directory_ and creates it below path_ (an empty text
// means none); a full path becomes path_, made with its parents when
// missing. A longer text, or a folder that cannot be made (the reason then
// replaces the prompt), is refused with a beep. "Browse…" puts the folder
// chosen into the field. Cancel leaves directory_ empty. True for OK.
bool QuerryDirectory(toolbox::Toolbox& tb, const std::string& proposal);

// Dialog 142, proposing 16: OK with a number of 4 or more sets dir_cmp_len_;
// 3 or less (a text without digits reads as 0) is refused with a beep. Cancel
// leaves dir_cmp_len_ alone. True for OK.
bool QuerryDirectoryLength(toolbox::Toolbox& tb);

}  // namespace vantorelle::app
