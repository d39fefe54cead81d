// uncached_writes.cpp - writing an output too large for the page cache without evicting everything else.
#include "uncached_writes.hpp"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>

#ifndef RWF_DONTCACHE
#define RWF_DONTCACHE 0x00000080  // Linux 6.14: drop the pages once written back
#endif

namespace vantorelle {
namespace {

// Bytes written between two drops of the cache where RWF_DONTCACHE is missing.
constexpr std::uint64_t kDropEvery = 16 * 1024 * 1024;

std::uint64_t available_memory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit) {
    if (key == "MemAvailable:") return kib * 1024;
  }
  return UINT64_MAX;  // unknown: nothing counts as too large
}

std::uint64_t uncached_limit() {
  if (const char* env = std::getenv("VANTORELLE_UNCACHED_ABOVE"); env != nullptr && *env != '\0') {
    char* end = nullptr;
    const unsigned long long limit = std::strtoull(env, &end, 10);
    if (*end == '\0') return limit;
  }
  return available_memory() / 2;
}

}  // namespace

bool WantUncachedWrites(std::uint64_t size) { return size > uncached_limit(); }

// One loop for both kinds: pwritev2 at offset -1 writes at the file position,
// and without flags it is a plain positional write.
bool PositionalWriter::write(int fd, const char* data, std::size_t size, std::int64_t offset) {
  const std::size_t total = size;
  last_written_ = 0;
  while (size > 0) {
    iovec piece{const_cast<char*>(data), size};
    const int flags = uncached_ && !dontcache_refused_ ? RWF_DONTCACHE : 0;
    const ssize_t n = ::pwritev2(fd, &piece, 1, offset, flags);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && flags != 0 && (errno == EOPNOTSUPP || errno == EINVAL)) {
      dontcache_refused_ = true;
      continue;
    }
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    last_written_ += static_cast<std::size_t>(n);
    if (offset >= 0) offset += n;
  }
  if (uncached_ && dontcache_refused_) drop_written(fd, total);
  return true;
}

// Pages can only be dropped once they are on the disk, so the file is
// flushed first; on the worker that costs the decoding nothing.
void PositionalWriter::drop_written(int fd, std::size_t size) {
  since_drop_ += size;
  if (since_drop_ < kDropEvery) return;
  since_drop_ = 0;
  ::fdatasync(fd);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
}

}  // namespace vantorelle
