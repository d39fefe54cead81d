// uncached_writes.hpp - writing an output too large for the page cache without evicting everything else.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorelle {

// Whether an output of this (known or expected) size should be written past
// the page cache: when it is larger than half the memory the system has
// available. VANTORELLE_UNCACHED_ABOVE=BYTES puts the limit elsewhere (0:
// every output), so the path can be exercised on a machine of any size.
bool WantUncachedWrites(std::uint64_t size);

// Writes every byte at `offset` (-1: at the file position, which moves), as
// pwrite would; false with errno set when the system refuses. Where `uncached`
// is set, with RWF_DONTCACHE, or, on kernels and file systems without it,
// with a flush and a drop of the file's cached pages every few MiB.
class PositionalWriter {
 public:
  bool write(int fd, const char* data, std::size_t size, std::int64_t offset);
  // The bytes the last write() put in, also when it failed.
  std::size_t last_written() const { return last_written_; }
  void set_uncached(bool uncached) { uncached_ = uncached; }

 private:
  void drop_written(int fd, std::size_t size);

  bool uncached_ = false;
  bool dontcache_refused_ = false;  // the kernel or file system lacks the flag
  std::uint64_t since_drop_ = 0;
  std::size_t last_written_ = 0;
};

}  // namespace vantorelle
