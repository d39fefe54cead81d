// thread_count.hpp - how many threads a run may take, and where a new one starts.
#pragma once

#include <optional>

namespace vantorelle::common {

// The cores this process may run on: fewer than the machine has under taskset
// or a container's limit; at least 1.
unsigned UsableCores();

// VANTORELLE_THREADS=N when N is a whole number from 1 on; nothing otherwise.
std::optional<unsigned> ThreadsCap();

// The core the calling thread runs on now; -1 when that is not known.
int CurrentCore();

// Moves the calling thread off `core` once, to another core the process may
// run on, and leaves it free to move from there. Linux starts a new thread
// on the core of the thread that made it and has been seen to leave the two
// sharing it for 15 ms while the other core idled; a helper thread calls
// this first with its maker's core.
void LeaveCore(int core);

}  // namespace vantorelle::common
