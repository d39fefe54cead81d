// application_hooks.hpp - the desktop application's answers to what a decode run reports and asks.
#pragma once

#include "decode_run.hpp"
#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

// The hooks of one run of the application: messages and progress in the
// progress window and alerts, output placement with its dialogs, file typing,
// and input disposal as the preferences say (read now, for this run).
RunHooks MakeApplicationHooks(toolbox::Toolbox& tb);

}  // namespace vantorelle::app
