// write_all.hpp - writing a whole buffer to a file descriptor.
#pragma once

#include <cstddef>

namespace vantorelle::common {

// Writes all `size` bytes of `data` to `fd`, again after a write that a
// signal interrupted (EINTR) and on after a short one. False on any other
// failure, with errno as the failed write left it; a write of nothing at all
// counts as a failure too (errno untouched), since it would repeat forever.
bool WriteAll(int fd, const void* data, std::size_t size);

}  // namespace vantorelle::common
