// debugger.hpp - the internal-error trap for a missing record or segment.
#pragma once

namespace vantorelle {

// Reports an internal error: one line on standard error in debug builds,
// nothing in release builds. Processing goes on after it.
void Debugger(const char* what);

}  // namespace vantorelle
