// folder_options.hpp - the Options menu: where every drop's output goes, kept between launches.
//
// Each item is a check item that stands for a key held at every drop and
// every Open: "Always Ask for an Output Folder" the option key, "Folder per
// Subject" shift, "Folders by File Name" command, "Ask for Subject Length"
// control. A choice flips the item, marks it and is remembered at once.
#pragma once

#include <string_view>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// The items of the Options menu (131).
inline constexpr toolbox::DialogItemIndex kAskDirectoryItem = 1;
inline constexpr toolbox::DialogItemIndex kSubjectFoldersItem = 2;
inline constexpr toolbox::DialogItemIndex kNameFoldersItem = 3;
inline constexpr toolbox::DialogItemIndex kAskLengthItem = 4;

// The options set in the menu; each is or-ed with its key at every drop.
// optionKey_menu_ is defined with the drop handler.
extern bool shiftKey_menu_;
extern bool cmdKey_menu_;
extern bool controlKey_menu_;

// The name each option is remembered under; empty for an item that is none.
std::string_view FolderOptionKey(toolbox::DialogItemIndex item);

// Flips the option of Options item `item`, marks the item and remembers it.
// False, and nothing changes, for an item that is no option.
bool ToggleFolderOption(toolbox::Toolbox& tb, toolbox::DialogItemIndex item);

// Sets every option as it was remembered (off when it never was) and marks
// the items; the menu bar must be built.
void RecallFolderOptions(toolbox::Toolbox& tb);

}  // namespace vantorelle::app
