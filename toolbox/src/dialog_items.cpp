// dialog_items.cpp - SetCText and GetCText.
#include "vantorelle/toolbox/dialog_items.hpp"

namespace vantorelle::toolbox {

void SetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item, std::string_view text) {
  const DialogRef saved = toolbox.GetPort();
  toolbox.SetPort(dialog);
  toolbox.SetDialogItemText(dialog, item, text);
  toolbox.SetPort(saved);
}

std::string GetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  const DialogRef saved = toolbox.GetPort();
  toolbox.SetPort(dialog);
  std::string text = LimitItemText(toolbox.GetDialogItemText(dialog, item));
  toolbox.SetPort(saved);
  return text;
}

}  // namespace vantorelle::toolbox
