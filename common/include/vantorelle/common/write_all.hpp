// write_all.hpp - writing a whole buffer to a file descriptor.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <cstddef>

namespace vantorelle::common {

// Writes all `size` bytes of `data` to `fd`, again after a write that a
// signal interrupted (EINTR) and on after a short one. False on any other
// failure, with errno as the failed write left it; a write of nothing at all
// counts as a failure too (errno untouched), since it would repeat forever.
// `write` stands for write(2), so that a caller's tests can have it fail.
using WriteCall = ::ssize_t (*)(int fd, const void* data, std::size_t size);
bool WriteAll(int fd, const void* data, std::size_t size, WriteCall write = ::write);

}  // namespace vantorelle::common
