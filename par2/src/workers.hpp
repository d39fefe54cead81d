// workers.hpp - how many threads a verification or repair uses, and the two ways it shares work out.
//
// Results never depend on the number of workers: tasks write disjoint data,
// and whatever they find is merged in a fixed order by the caller.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vantorelle::par2 {

// `asked` workers (0: one per core this process may run on), at most
// VANTORELLE_THREADS when that holds a positive number; always at least one.
unsigned worker_count(unsigned asked);

// Threads kept for many short rounds of one task: run(task) calls task(w)
// for every w < size(), w == 0 on the calling thread, and returns when all
// have returned; the first exception a task threw is then rethrown.
class WorkerPool {
 public:
  explicit WorkerPool(unsigned workers);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned size() const { return static_cast<unsigned>(threads_.size()) + 1; }
  void run(const std::function<void(unsigned)>& task);

 private:
  void serve(unsigned worker);

  std::mutex mutex_;
  std::condition_variable start_, finished_;
  const std::function<void(unsigned)>* task_ = nullptr;
  std::uint64_t round_ = 0;
  unsigned busy_ = 0;
  std::exception_ptr error_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Calls each(i) once for every i < count on up to `workers` threads, each
// taking the next index in turn. The first exception thrown is rethrown here
// once all have stopped.
void for_each_index(std::size_t count, unsigned workers, const std::function<void(std::size_t)>& each);

}  // namespace vantorelle::par2
