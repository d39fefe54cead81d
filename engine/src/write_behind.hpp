// write_behind.hpp - an output's buffers written on the worker while the next ones are decoded.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "io_worker.hpp"
#include "uncached_writes.hpp"

namespace vantorelle {

class WriteBehind {
 public:
  // At most this many buffers wait for the worker: a few hundred KiB.
  static constexpr std::size_t kInFlight = 4;

  // `writer` is used on the worker only, until settle() has returned.
  WriteBehind(IoWorker& worker, int fd, PositionalWriter& writer);
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;
  ~WriteBehind();

  // Queues `size` bytes of `buffer` to be written at `offset` and gives back
  // a free buffer of `capacity` bytes to decode into (waiting while kInFlight
  // are queued).
  std::unique_ptr<char[]> write(std::unique_ptr<char[]> buffer, std::size_t size, std::uint64_t offset,
                                std::size_t capacity);

  // Whether a queued write has failed so far (without waiting).
  bool failed() const { return failed_.load(std::memory_order_acquire); }

  // Waits until every queued write is done; false when one has failed (its
  // errno is kept in error_number()).
  bool settle();
  int error_number() const { return errno_; }

 private:
  void write_now(std::unique_ptr<char[]>& buffer, std::size_t size, std::uint64_t offset);

  IoWorker& worker_;
  const int fd_;
  PositionalWriter& writer_;
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t queued_ = 0;
  std::vector<std::unique_ptr<char[]>> free_;
  std::atomic<bool> failed_{false};
  int errno_ = 0;  // written by the worker before failed_, read after it
};

}  // namespace vantorelle
