// write_behind.cpp - an output's buffers written on the worker while the next ones are decoded.
#include "write_behind.hpp"

#include <cerrno>
#include <utility>

namespace vantorelle {

WriteBehind::WriteBehind(IoWorker& worker, int fd, PositionalWriter& writer)
    : worker_(worker), fd_(fd), writer_(writer) {}

WriteBehind::~WriteBehind() { settle(); }

std::unique_ptr<char[]> WriteBehind::write(std::unique_ptr<char[]> buffer, std::size_t size,
                                           std::uint64_t offset, std::size_t capacity) {
  std::unique_ptr<char[]> next;
  {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return queued_ < kInFlight; });
    ++queued_;
    if (!free_.empty()) {
      next = std::move(free_.back());
      free_.pop_back();
    }
  }
  // The task owns the buffer through a shared pointer: a std::function must be copyable.
  auto held = std::make_shared<std::unique_ptr<char[]>>(std::move(buffer));
  worker_.post_write([this, held, size, offset] { write_now(*held, size, offset); });
  // Buffers are never cleared: only bytes written into them are read.
  return next ? std::move(next) : std::make_unique_for_overwrite<char[]>(capacity);
}

void WriteBehind::write_now(std::unique_ptr<char[]>& buffer, std::size_t size, std::uint64_t offset) {
  // After a failure the rest is dropped, as the decoder stops at its next flush.
  if (!failed() && !writer_.write(fd_, buffer.get(), size, static_cast<std::int64_t>(offset))) {
    errno_ = errno;
    failed_.store(true, std::memory_order_release);
  }
  std::lock_guard lock(mutex_);
  free_.push_back(std::move(buffer));
  --queued_;
  // Under the lock: once settle() sees nothing queued this object may go.
  done_.notify_all();
}

bool WriteBehind::settle() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return queued_ == 0; });
  return !failed();
}

}  // namespace vantorelle
