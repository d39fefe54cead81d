// workers.cpp - how many threads a verification or repair uses, and the two ways it shares work out.
#include "workers.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>

#include "vantorelle/common/thread_count.hpp"

namespace vantorelle::par2 {
namespace {

constexpr unsigned kMostWorkers = 256;

}  // namespace

unsigned worker_count(unsigned asked) {
  unsigned n = asked != 0 ? asked : common::UsableCores();
  if (const auto cap = common::ThreadsCap()) n = std::min(n, *cap);
  return std::clamp(n, 1u, kMostWorkers);
}

WorkerPool::WorkerPool(unsigned workers) {
  for (unsigned w = 1; w < workers; ++w) threads_.emplace_back([this, w] { serve(w); });
}

WorkerPool::~WorkerPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void WorkerPool::run(const std::function<void(unsigned)>& task) {
  {
    const std::lock_guard lock(mutex_);
    task_ = &task;
    busy_ = static_cast<unsigned>(threads_.size());
    ++round_;
  }
  start_.notify_all();
  std::exception_ptr mine;
  try {
    task(0);
  } catch (...) {
    mine = std::current_exception();
  }
  std::unique_lock lock(mutex_);
  finished_.wait(lock, [this] { return busy_ == 0; });
  task_ = nullptr;
  std::exception_ptr error = mine ? mine : std::exchange(error_, nullptr);
  error_ = nullptr;
  if (error) std::rethrow_exception(error);
}

void WorkerPool::serve(unsigned worker) {
  std::uint64_t seen = 0;
  while (true) {
    const std::function<void(unsigned)>* task = nullptr;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || round_ != seen; });
      if (stopping_) return;
      seen = round_;
      task = task_;
    }
    std::exception_ptr error;
    try {
      (*task)(worker);
    } catch (...) {
      error = std::current_exception();
    }
    {
      const std::lock_guard lock(mutex_);
      if (error && !error_) error_ = error;
      --busy_;
    }
    finished_.notify_one();
  }
}

void for_each_index(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& each) {
  std::atomic<std::size_t> next{0};
  std::exception_ptr first_error;
  std::mutex error_mutex;
  const auto work = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) {
      try {
        each(i);
      } catch (...) {
        const std::lock_guard lock(error_mutex);
        if (!first_error) first_error = std::current_exception();
        next = count;  // the others stop at their next index
      }
    }
  };
  const auto threads = static_cast<unsigned>(std::min<std::size_t>(workers, count));
  {
    std::vector<std::jthread> helpers;
    for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
  }
  if (first_error) std::rethrow_exception(first_error);
}

}  // namespace vantorelle::par2
