// io_worker.cpp - a thread that reads ahead and writes behind for the decoding thread.
#include "io_worker.hpp"

#include <algorithm>
#include <utility>

#include "vantorelle/common/thread_count.hpp"

namespace vantorelle {

IoWorker::IoWorker()
    : thread_([this, core = common::CurrentCore()] {
        common::LeaveCore(core);
        run();
      }) {}

IoWorker::~IoWorker() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
    wake_.changed();
  }
  wake_.notify_all();
  thread_.join();
}

void IoWorker::post_write(Task task) {
  {
    std::lock_guard lock(mutex_);
    writes_.push_back(std::move(task));
    wake_.changed();
  }
  wake_.notify_all();
}

void IoWorker::post_read(Task task) {
  {
    std::lock_guard lock(mutex_);
    reads_.push_back(std::move(task));
    wake_.changed();
  }
  wake_.notify_all();
}

bool IoWorker::run_read_here() {
  Task task;
  {
    std::lock_guard lock(mutex_);
    if (reads_.empty()) return false;
    task = std::move(reads_.front());
    reads_.pop_front();
  }
  task();
  return true;
}

void IoWorker::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return ending_ || !writes_.empty() || !reads_.empty(); });
    // A write that comes within a few microseconds still goes first: where
    // writing is the slower side, a read taken here would hold the writes
    // up, while the decoding thread, waiting for them, reads for itself.
    if (writes_.empty() && !ending_ && wake_.spin(lock, kWriteDue) && !writes_.empty()) continue;
    std::deque<Task>& queue = !writes_.empty() ? writes_ : reads_;
    if (queue.empty()) {
      if (ending_) return;  // nothing left to do
      continue;             // the decoding thread took the read meanwhile
    }
    Task task = std::move(queue.front());
    queue.pop_front();
    lock.unlock();
    task();
    lock.lock();
  }
}

unsigned IoWorker::threads_allowed() {
  static const unsigned allowed = [] {
    const unsigned n = common::UsableCores();
    const auto cap = common::ThreadsCap();
    return cap ? std::min(n, *cap) : n;
  }();
  return allowed;
}

bool IoWorker::threads_asked() {
  static const bool asked = [] {
    const auto cap = common::ThreadsCap();
    return cap && *cap > 1;
  }();
  return asked;
}

}  // namespace vantorelle
