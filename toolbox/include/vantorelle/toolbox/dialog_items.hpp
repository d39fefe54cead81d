// dialog_items.hpp - the shell's dialog item text helpers over the toolbox.
#pragma once

#include <string>
#include <string_view>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::toolbox {

// Sets the item's text (cut to kMaxItemText bytes) with the dialog's port
// current, and restores the port that was current before.
void SetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item, std::string_view text);

// The item's text (at most kMaxItemText bytes), read the same way.
std::string GetCText(Toolbox& toolbox, DialogRef dialog, DialogItemIndex item);

}  // namespace vantorelle::toolbox
