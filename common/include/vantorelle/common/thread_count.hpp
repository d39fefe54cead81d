// thread_count.hpp - how many threads a run may take.
#pragma once

#include <optional>

namespace vantorelle::common {

// The cores this process may run on: fewer than the machine has under taskset
// or a container's limit; at least 1.
unsigned UsableCores();

// VANTORELLE_THREADS=N when N is a whole number from 1 on; nothing otherwise.
std::optional<unsigned> ThreadsCap();

}  // namespace vantorelle::common
