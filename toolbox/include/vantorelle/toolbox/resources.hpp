// resources.hpp - the dialogs and menus that the shell loads by ID, and their numbered items.
//
// The Qt front end builds these from the forms in resources/; the scripted
// backend uses this table alone, so a test that names an item the form does
// not have fails there too. A Qt test checks that forms and table agree.
#pragma once

#include <span>

#include "vantorelle/toolbox/types.hpp"

namespace vantorelle::toolbox {

// Dialog resource IDs.
inline constexpr ResID kAboutDialogID = 128;
inline constexpr ResID kProgressDialogID = 130;
inline constexpr ResID kAlertDialogID = 131;
inline constexpr ResID kPreferencesDialogID = 135;
inline constexpr ResID kFileNameDialogID = 140;
inline constexpr ResID kDirectoryDialogID = 141;
inline constexpr ResID kLengthDialogID = 142;

// Menu resource IDs, in menu bar order.
inline constexpr ResID kApplicationMenuID = 128;
inline constexpr ResID kFileMenuID = 129;
inline constexpr ResID kEditMenuID = 130;
inline constexpr ResID kOptionsMenuID = 131;

enum class ItemKind {
  kButton,       // push button: hit when clicked
  kCheckBox,     // check box: hit when clicked, its value is not flipped by the click
  kEditText,     // one line of text that the user types
  kStaticText,   // text shown, never hit
  kProgressBar,  // value 0 to 100, or indeterminate
  kList,         // rows of cells, selectable and copyable, never hit
};

struct DialogItemTemplate {
  DialogItemIndex number;
  ItemKind kind;
};

struct DialogTemplate {
  ResID id;
  bool modal;                   // runs in ModalDialog; every dialog but the progress window
  DialogItemIndex cancel_item;  // hit by Escape or the window's close button; 0 for none
  std::span<const DialogItemTemplate> items;
};

struct MenuItemTemplate {
  DialogItemIndex number;
  bool separator;
  bool enabled;
  char key;             // command-key equivalent (upper case), 0 for none
  MenuCommand command;  // sent as an Apple event of that ID instead of a menu choice; 0 for none
};

struct MenuTemplate {
  ResID id;
  std::span<const MenuItemTemplate> items;
};

// Every dialog, in ID order.
std::span<const DialogTemplate> DialogTemplates();
// The dialog of `id`, or nullptr.
const DialogTemplate* FindDialogTemplate(ResID id);
// The item `number` of `dialog`, or nullptr.
const DialogItemTemplate* FindItemTemplate(const DialogTemplate& dialog, DialogItemIndex number);

// Every menu, in menu bar order.
std::span<const MenuTemplate> MenuTemplates();
const MenuTemplate* FindMenuTemplate(ResID id);
const MenuItemTemplate* FindMenuItemTemplate(const MenuTemplate& menu, DialogItemIndex number);

// A menu choice: menu ID in the high 16 bits, item number in the low 16 bits.
constexpr std::int32_t MenuChoice(ResID menu, DialogItemIndex item) {
  return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(menu)) << 16) |
                                   static_cast<std::uint16_t>(item));
}
constexpr ResID MenuChoiceMenu(std::int32_t choice) {
  return static_cast<ResID>(static_cast<std::uint32_t>(choice) >> 16);
}
constexpr DialogItemIndex MenuChoiceItem(std::int32_t choice) {
  return static_cast<DialogItemIndex>(static_cast<std::uint32_t>(choice) & 0xFFFFu);
}

}  // namespace vantorelle::toolbox
