// handoff.cpp - a condition variable whose waiters spin a little before they sleep.
#include "handoff.hpp"

#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "vantorelle/common/thread_count.hpp"

namespace vantorelle {

namespace {

// On one core the thread waited for cannot run while this one spins.
bool spinning_pays() {
  static const bool pays = common::UsableCores() > 1;
  return pays;
}

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#elif defined(__aarch64__)
  __asm__ __volatile__("yield");
#else
  std::this_thread::yield();
#endif
}

}  // namespace

bool Handoff::spin(std::unique_lock<std::mutex>& lock, std::chrono::microseconds most) {
  const std::uint64_t seen = count_.load(std::memory_order_acquire);
  if (spinning_pays()) {
    lock.unlock();
    spin_for_change(seen, most);
    lock.lock();
  }
  return count_.load(std::memory_order_acquire) != seen;
}

void Handoff::spin_for_change(std::uint64_t seen, std::chrono::microseconds most) const {
  const auto until = std::chrono::steady_clock::now() + most;
  for (unsigned round = 1; count_.load(std::memory_order_acquire) == seen; ++round) {
    if (round % 16 == 0 && std::chrono::steady_clock::now() >= until) return;
    pause();
  }
}

}  // namespace vantorelle
