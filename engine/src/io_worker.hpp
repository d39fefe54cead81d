// io_worker.hpp - a thread that reads ahead and writes behind for the decoding thread.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "handoff.hpp"

namespace vantorelle {

class IoWorker {
 public:
  using Task = std::function<void()>;

  IoWorker();
  IoWorker(const IoWorker&) = delete;
  IoWorker& operator=(const IoWorker&) = delete;
  // Runs what is still queued, then ends the thread.
  ~IoWorker();

  // Writes go first: they hand buffers back to the decoder, which waits for
  // them, while a read it waits for it can make itself.
  void post_write(Task task);
  void post_read(Task task);
  // Runs the oldest read not yet begun on the calling thread; false when
  // there is none. A thread that would wait for the worker's writes does a
  // read of the worker's meanwhile: where writing is the slower side, the
  // two threads then share the reading.
  bool run_read_here();

  // How many threads decoding may use, the calling one included: the cores
  // this process may run on, capped by VANTORELLE_THREADS=N. At 1 no worker is
  // started and every read and write happens on the calling thread.
  static unsigned threads_allowed();
  // Whether VANTORELLE_THREADS asked for more than one: then even small
  // outputs, which gain nothing, are written through the worker (for tests).
  static bool threads_asked();

 private:
  void run();

  static constexpr std::chrono::microseconds kWriteDue{5};

  std::mutex mutex_;
  Handoff wake_;
  std::deque<Task> writes_;
  std::deque<Task> reads_;
  bool ending_ = false;
  std::thread thread_;
};

}  // namespace vantorelle
