// dialog_items.cpp - SetCText, GetCText and the control helpers.
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

std::int16_t GetItemValue(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  return toolbox.GetControlValue(dialog, item);
}

void SetItemValue(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item, std::int16_t value) {
  toolbox.SetControlValue(dialog, item, value);
}

void FlipCheckBox(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  SetItemValue(toolbox, dialog, item, static_cast<std::int16_t>(1 - GetItemValue(toolbox, dialog, item)));
}

void FrameOK(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  toolbox.SetControlData(dialog, item, kControlEntireControl, kControlPushButtonDefaultTag, true);
}

void SetProgressBarDeterminate(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  toolbox.SetControlData(dialog, item, kControlEntireControl, kControlProgressBarIndeterminateTag, false);
}

void SetProgressBarIndeterminate(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item) {
  toolbox.SetControlData(dialog, item, kControlEntireControl, kControlProgressBarIndeterminateTag, true);
}

}  // namespace vantorelle::toolbox
