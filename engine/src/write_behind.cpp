// write_behind.cpp - an output's buffers written on the worker while the next ones are decoded.
#include "write_behind.hpp"

#include <cerrno>
#include <utility>

namespace vantorelle {

WriteBehind::WriteBehind(IoWorker& worker, int fd, PositionalWriter& writer)
    : worker_(worker), fd_(fd), writer_(writer) {}

WriteBehind::~WriteBehind() {
  settle();
  // The worker's tasks for writes this thread made itself still name this object.
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return tasks_ == 0; });
}

std::unique_ptr<char[]> WriteBehind::write(std::unique_ptr<char[]> buffer, std::size_t size,
                                           std::uint64_t offset, std::size_t capacity,
                                           std::vector<CrcPiece> pieces, std::uint64_t stream_from) {
  drain_to(kInFlight - 1);
  std::unique_ptr<char[]> next;
  {
    std::lock_guard lock(mutex_);
    pending_.push_back({std::move(buffer), size, offset, ++queued_, std::move(pieces), stream_from});
    ++tasks_;
    if (!free_.empty()) {
      next = std::move(free_.back());
      free_.pop_back();
    }
  }
  worker_.post_write([this] {
    std::unique_lock lock(mutex_);
    write_oldest(lock);
    --tasks_;
    done_.changed();
    done_.notify_all();
  });
  // Buffers are never cleared: only bytes written into them are read.
  return next ? std::move(next) : std::make_unique_for_overwrite<char[]>(capacity);
}

bool WriteBehind::write_oldest(std::unique_lock<std::mutex>& lock) {
  // One at a time: parts placed at offsets may overlap, and the later must win.
  if (writing_ || pending_.empty()) return false;
  Pending next = std::move(pending_.front());
  pending_.pop_front();
  writing_ = true;
  lock.unlock();
  for (CrcPiece& piece : next.pieces) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(next.buffer.get());
    piece.reg = crc_update(0, bytes + (piece.from - next.stream_from), static_cast<std::size_t>(piece.length));
  }
  // After a failure the rest is dropped, as the decoder stops at its next flush.
  const bool failed_now =
      !failed() && !writer_.write(fd_, next.buffer.get(), next.size, static_cast<std::int64_t>(next.offset));
  if (failed_now) {
    errno_ = errno;
    failed_.store(true, std::memory_order_release);
  }
  lock.lock();
  if (failed_now) {
    first_failed_ = next.number;
    failed_at_ = next.offset + writer_.last_written();
  }
  done_through_ = next.number;
  for (const CrcPiece& piece : next.pieces) {
    counted_.push_back(piece);
    counted_through_ = piece.from + piece.length;
  }
  free_.push_back(std::move(next.buffer));
  writing_ = false;
  // Under the lock: once settle() has seen nothing queued this object may go.
  done_.changed();
  done_.notify_all();
  return true;
}

void WriteBehind::write_read_or_wait(std::unique_lock<std::mutex>& lock) {
  if (write_oldest(lock)) return;
  lock.unlock();
  const bool read = worker_.run_read_here();
  lock.lock();
  if (!read && writing_) done_.wait(lock);
}

void WriteBehind::drain_to(std::size_t most) {
  std::unique_lock lock(mutex_);
  while (pending_.size() + (writing_ ? 1 : 0) > most) {
    write_read_or_wait(lock);
  }
}

void WriteBehind::drain_through(std::uint64_t mark) {
  std::unique_lock lock(mutex_);
  while (done_through_ < mark) {
    write_read_or_wait(lock);
  }
}

void WriteBehind::settle_crc(std::uint64_t to) {
  std::unique_lock lock(mutex_);
  while (counted_through_ < to && (!pending_.empty() || writing_)) {
    write_read_or_wait(lock);
  }
}

std::vector<CrcPiece> WriteBehind::take_crc_pieces() {
  std::lock_guard lock(mutex_);
  return std::exchange(counted_, {});
}

bool WriteBehind::settle() {
  drain_to(0);
  return !failed();
}

std::uint64_t WriteBehind::failed_at() {
  std::lock_guard lock(mutex_);
  return failed_at_;
}

bool WriteBehind::settle(std::uint64_t mark) {
  drain_through(mark);
  std::lock_guard lock(mutex_);
  return first_failed_ > mark;
}

}  // namespace vantorelle
