// handoff.hpp - a condition variable whose waiters spin a little before they sleep.
//
// The decoding thread and its worker hand each other a buffer every few tens
// of microseconds. Waking a thread that sleeps costs about as long (on a
// virtual machine the host must run the sleeping processor again), and the
// thread woken often finds its next wait as short: asleep, the two would pass
// their turns in wake-ups. So a waiter first watches, with the lock free, a
// count that every change raises, and sleeps only when none came meanwhile.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace vantorelle {

class Handoff {
 public:
  // Longer than a buffer takes to decode or write, far shorter than a part.
  static constexpr std::chrono::microseconds kSpin{50};

  // Marks a change; called with the waiters' lock held, where the change was
  // made, so that a waiter checking the count under the lock cannot miss it.
  void changed() { count_.fetch_add(1, std::memory_order_release); }

  // Wakes the sleeping waiters; with or without the lock.
  void notify_all() { sleeping_.notify_all(); }

  // Watches for a change for up to `most` with `lock` free; whether one
  // came. `lock` is held on entry and on return.
  bool spin(std::unique_lock<std::mutex>& lock, std::chrono::microseconds most = kSpin);

  // Waits, with `lock` held on entry and on return, until changed() is
  // called or a spurious wake-up comes (the caller checks its own state).
  void wait(std::unique_lock<std::mutex>& lock) {
    if (!spin(lock)) sleeping_.wait(lock);
  }

  template <class Ready>
  void wait(std::unique_lock<std::mutex>& lock, Ready ready) {
    while (!ready()) wait(lock);
  }

 private:
  void spin_for_change(std::uint64_t seen, std::chrono::microseconds most) const;

  std::atomic<std::uint64_t> count_{0};
  std::condition_variable sleeping_;
};

}  // namespace vantorelle
