// write_behind.hpp - an output's buffers written on the worker while the next ones are decoded.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "crc32_fast.hpp"
#include "handoff.hpp"
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
  // a free buffer of `capacity` bytes to decode into. While kInFlight are
  // queued the calling thread writes the oldest itself (or waits for the one
  // the worker is writing), so a worker kept off the processor never holds
  // the decoding up for long; the writes stay in their order either way.
  //
  // `pieces` (bytes of the stream from `stream_from` on, which lie in the
  // buffer from its start, also past `size`) get their CRC-32 just before the
  // write, where they are read anyway; take_crc_pieces() hands them back.
  std::unique_ptr<char[]> write(std::unique_ptr<char[]> buffer, std::size_t size, std::uint64_t offset,
                                std::size_t capacity, std::vector<CrcPiece> pieces = {},
                                std::uint64_t stream_from = 0);

  // Until the pieces up to stream position `to` are counted (or nothing is
  // queued), writes on the calling thread or waits, as settle() does.
  void settle_crc(std::uint64_t to);
  // The pieces counted so far and not yet taken, in stream order.
  std::vector<CrcPiece> take_crc_pieces();

  // Whether a queued write has failed so far (without waiting).
  bool failed() const { return failed_.load(std::memory_order_acquire); }

  // Until every queued write is done, writes them on the calling thread or
  // waits for the worker's; false when one has failed (its errno is kept in
  // error_number()).
  bool settle();

  // How many writes have been queued so far: a mark to settle up to.
  std::uint64_t queued() const { return queued_; }
  // The same up to the write `mark` counted; false when it or one before it
  // failed. Later writes may still be waiting.
  bool settle(std::uint64_t mark);
  int error_number() const { return errno_; }
  // The file position the failed write reached; UINT64_MAX while none failed.
  std::uint64_t failed_at();

 private:
  struct Pending {
    std::unique_ptr<char[]> buffer;
    std::size_t size = 0;
    std::uint64_t offset = 0;
    std::uint64_t number = 0;  // counted from 1 as queued
    std::vector<CrcPiece> pieces;
    std::uint64_t stream_from = 0;
  };
  // Writes the oldest queued buffer unless one is being written; whether it did.
  bool write_oldest(std::unique_lock<std::mutex>& lock);
  // Writes the oldest, or else does one of the worker's reads, or else
  // waits for the write under way to end.
  void write_read_or_wait(std::unique_lock<std::mutex>& lock);
  // Writes or waits until fewer than `most` are queued.
  void drain_to(std::size_t most);
  // The same until the write numbered `mark` is done.
  void drain_through(std::uint64_t mark);

  IoWorker& worker_;
  const int fd_;
  PositionalWriter& writer_;
  std::mutex mutex_;
  Handoff done_;
  std::deque<Pending> pending_;  // in the order written
  bool writing_ = false;         // one of them is being written
  std::size_t tasks_ = 0;        // posted to the worker and not yet run
  std::vector<std::unique_ptr<char[]>> free_;
  std::uint64_t queued_ = 0;       // writes queued so far; the calling thread's
  std::uint64_t done_through_ = 0; // every write up to this number is done
  std::uint64_t first_failed_ = UINT64_MAX;  // number of the write that failed
  std::uint64_t failed_at_ = UINT64_MAX;     // and the file position it reached
  std::vector<CrcPiece> counted_;  // pieces whose CRC is taken
  std::uint64_t counted_through_ = 0;  // the stream position the last of them reached
  std::atomic<bool> failed_{false};
  int errno_ = 0;  // written by the worker before failed_, read after it
};

}  // namespace vantorelle
