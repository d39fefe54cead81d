// debugger.cpp - the internal-error trap.
#include "debugger.hpp"

#include <cstdio>

namespace vantorelle {

void Debugger([[maybe_unused]] const char* what) {
#ifndef NDEBUG
  std::fprintf(stderr, "vantorelle: internal error: %s\n", what);
#endif
}

}  // namespace vantorelle
