// write_all.cpp - writing a whole buffer to a file descriptor.
#include "vantorelle/common/write_all.hpp"

#include <unistd.h>

#include <cerrno>

namespace vantorelle::common {

bool WriteAll(int fd, const void* data, std::size_t size, WriteCall write) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace vantorelle::common
