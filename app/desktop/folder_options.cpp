// folder_options.cpp - the Options menu: where every drop's output goes, kept between launches.
#include "folder_options.hpp"

#include <array>

#include "application.hpp"
#include "document_intake.hpp"
#include "vantorelle/toolbox/resources.hpp"

namespace vantorelle::app {

using namespace vantorelle::toolbox;

bool shiftKey_menu_ = false;
bool cmdKey_menu_ = false;
bool controlKey_menu_ = false;

namespace {

struct FolderOption {
  DialogItemIndex item;
  std::string_view key;
  bool* flag;
};

std::array<FolderOption, 4> Options() {
  return {{
      {kAskDirectoryItem, "options/alwaysAskForOutputFolder", &optionKey_menu_},
      {kSubjectFoldersItem, "options/folderPerSubject", &shiftKey_menu_},
      {kNameFoldersItem, "options/foldersByFileName", &cmdKey_menu_},
      {kAskLengthItem, "options/askForSubjectLength", &controlKey_menu_},
  }};
}

const FolderOption* FindOption(DialogItemIndex item) {
  static const std::array<FolderOption, 4> options = Options();
  for (const FolderOption& option : options) {
    if (option.item == item) return &option;
  }
  return nullptr;
}

void Mark(Toolbox& tb, const FolderOption& option) {
  XMenuCheckOneItem(tb, XMenuGetRef(tb, kOptionsMenuID), option.item, *option.flag);
}

}  // namespace

std::string_view FolderOptionKey(DialogItemIndex item) {
  const FolderOption* option = FindOption(item);
  return option ? option->key : std::string_view();
}

bool ToggleFolderOption(Toolbox& tb, DialogItemIndex item) {
  const FolderOption* option = FindOption(item);
  if (!option) return false;
  *option->flag = !*option->flag;
  Mark(tb, *option);
  tb.CFPreferencesSetAppValue(option->key, *option->flag);
  return true;
}

void RecallFolderOptions(Toolbox& tb) {
  for (const FolderOption& option : Options()) {
    *option.flag = tb.CFPreferencesGetAppBooleanValue(option.key, false);
    Mark(tb, option);
  }
}

}  // namespace vantorelle::app
