// dialog_items.hpp - the shell's dialog item helpers over the toolbox: texts, values, default button, bar mode.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::toolbox {

// Sets the item's text (cut to kMaxItemText bytes) with the dialog's port
// current, and restores the port that was current before.
void SetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item, std::string_view text);

// The item's text (at most kMaxItemText bytes), read the same way.
std::string GetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);

// A control's value, and setting it.
std::int16_t GetItemValue(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);
void SetItemValue(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item, std::int16_t value);
// A check box's value := 1 - value.
void FlipCheckBox(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);
// Makes the push button the default button ('dflt').
void FrameOK(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);
// Puts a progress bar into determinate or indeterminate mode ('inde').
void SetProgressBarDeterminate(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);
void SetProgressBarIndeterminate(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);

}  // namespace vantorelle::toolbox
