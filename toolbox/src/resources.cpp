// resources.cpp - the table of dialogs and menus with their numbered items.
#include "vantorelle/toolbox/resources.hpp"

#include <algorithm>
#include <array>
#include <iterator>

namespace vantorelle::toolbox {
namespace {

using K = ItemKind;

constexpr std::array<DialogItemTemplate, 3> kAboutItems{{
    {1, K::kButton}, {2, K::kStaticText}, {3, K::kStaticText}}};

// 7 stops the run; 8 lists its messages; 9, 10 and 11 are the results view.
constexpr std::array<DialogItemTemplate, 12> kProgressItems{{
    {1, K::kStaticText}, {2, K::kStaticText}, {3, K::kStaticText}, {4, K::kStaticText},
    {5, K::kProgressBar}, {6, K::kStaticText}, {7, K::kButton}, {8, K::kList},
    {9, K::kList}, {10, K::kButton}, {11, K::kButton}, {12, K::kButton}}};

constexpr std::array<DialogItemTemplate, 3> kAlertItems{{
    {1, K::kButton}, {2, K::kButton}, {3, K::kStaticText}}};

constexpr std::array<DialogItemTemplate, 8> kPreferencesItems{{
    {1, K::kButton}, {2, K::kButton}, {3, K::kStaticText}, {4, K::kCheckBox},
    {5, K::kCheckBox}, {6, K::kCheckBox}, {7, K::kStaticText}, {8, K::kStaticText}}};

constexpr std::array<DialogItemTemplate, 7> kFileNameItems{{
    {1, K::kButton}, {2, K::kButton}, {3, K::kEditText}, {4, K::kStaticText},
    {5, K::kStaticText}, {6, K::kStaticText}, {9, K::kButton}}};

constexpr std::array<DialogItemTemplate, 5> kDirectoryItems{{
    {1, K::kButton}, {2, K::kButton}, {3, K::kEditText}, {4, K::kStaticText}, {5, K::kButton}}};

constexpr std::array<DialogItemTemplate, 4> kLengthItems{{
    {1, K::kButton}, {2, K::kButton}, {3, K::kEditText}, {4, K::kStaticText}}};

constexpr std::array<DialogTemplate, 7> kDialogs{{
    {kAboutDialogID, true, 1, kAboutItems},
    {kProgressDialogID, false, 7, kProgressItems},  // Escape and closing ask for a stop
    {kAlertDialogID, true, 1, kAlertItems},          // Escape continues, never quits
    {kPreferencesDialogID, true, 2, kPreferencesItems},
    {kFileNameDialogID, true, 2, kFileNameItems},
    {kDirectoryDialogID, true, 2, kDirectoryItems},
    {kLengthDialogID, true, 2, kLengthItems},
}};

constexpr MenuItemTemplate Item(DialogItemIndex n, char key = 0, MenuCommand command = 0) {
  return {n, false, true, key, command};
}
constexpr MenuItemTemplate Disabled(DialogItemIndex n) { return {n, false, false, 0, 0}; }
constexpr MenuItemTemplate Separator(DialogItemIndex n) { return {n, true, false, 0, 0}; }

constexpr std::array<MenuItemTemplate, 1> kApplicationMenu{{Item(1)}};
constexpr std::array<MenuItemTemplate, 3> kFileMenu{{Item(1, 'O'), Separator(2), Item(3, 'Q', kHICommandQuit)}};
constexpr std::array<MenuItemTemplate, 9> kEditMenu{{
    Disabled(1), Separator(2), Disabled(3), Disabled(4), Disabled(5), Disabled(6), Disabled(7),
    Separator(8), Item(9, ',')}};
constexpr std::array<MenuItemTemplate, 4> kOptionsMenu{{Item(1), Item(2), Item(3), Item(4)}};

constexpr std::array<MenuTemplate, 4> kMenus{{
    {kApplicationMenuID, kApplicationMenu},
    {kFileMenuID, kFileMenu},
    {kEditMenuID, kEditMenu},
    {kOptionsMenuID, kOptionsMenu},
}};

// The element of `range` whose `field` equals `key`, or null.
template <typename Range, typename Field, typename Key>
auto FindBy(const Range& range, Field field, Key key) -> decltype(&*std::begin(range)) {
  auto it = std::find_if(std::begin(range), std::end(range),
                         [&](const auto& element) { return element.*field == key; });
  return it == std::end(range) ? nullptr : &*it;
}

}  // namespace

std::span<const DialogTemplate> DialogTemplates() { return kDialogs; }

const DialogTemplate* FindDialogTemplate(ResID id) { return FindBy(kDialogs, &DialogTemplate::id, id); }

const DialogItemTemplate* FindItemTemplate(const DialogTemplate& dialog, DialogItemIndex number) {
  return FindBy(dialog.items, &DialogItemTemplate::number, number);
}

std::span<const MenuTemplate> MenuTemplates() { return kMenus; }

const MenuTemplate* FindMenuTemplate(ResID id) { return FindBy(kMenus, &MenuTemplate::id, id); }

const MenuItemTemplate* FindMenuItemTemplate(const MenuTemplate& menu, DialogItemIndex number) {
  return FindBy(menu.items, &MenuItemTemplate::number, number);
}

}  // namespace vantorelle::toolbox
