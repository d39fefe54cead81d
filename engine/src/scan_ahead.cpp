// scan_ahead.cpp - a run's input files read for the scanner on a second thread, taken in turn.
//
// The two threads share the reading: the worker takes the next file no thread
// has taken, at most kAhead files past the one in turn; the caller, when the
// file in turn is not ready, reads the next untaken one itself (that file, if
// nobody has begun it) instead of waiting. Only the files' findings are held,
// which stay small (FileScan::kMostKept).
#include <mutex>
#include <thread>

#include "handoff.hpp"
#include "io_worker.hpp"
#include "scan_ahead.hpp"
#include "vantorelle/common/thread_count.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {

struct ScanAhead::State {
  explicit State(std::vector<std::string> list) : paths(std::move(list)), found(paths.size()) {}

  void read_files();
  std::optional<FileScan> take(const std::string& path);
  // Reads the untaken file `next` with the lock released; false when there is none in reach.
  bool read_next(std::unique_lock<std::mutex>& lock, std::size_t limit);
  // Marks a change and wakes the waiters; `lock` is held on entry and on return.
  void notify(std::unique_lock<std::mutex>& lock);

  static constexpr std::size_t kAhead = 8;
  const std::vector<std::string> paths;
  std::mutex mutex;
  Handoff progress;
  std::vector<std::optional<FileScan>> found;  // read, not yet taken in
  std::size_t next = 0;  // the first file no thread has taken
  std::size_t turn = 0;  // the file uuScanFile asks for next
  std::atomic<bool> quit = false;  // also ends a read under way
  std::thread worker;
};

namespace {

ScanAhead::State*& living() {
  static ScanAhead::State* state = nullptr;
  return state;
}

// A file that fails to be read here (out of memory) is read again in its turn.
FileScan read_or_leave(const std::string& path, const std::atomic<bool>& cancel) {
  try {
    return read_input(path, cancel);
  } catch (const std::exception&) {
    return FileScan{};
  }
}

}  // namespace

bool ScanAhead::State::read_next(std::unique_lock<std::mutex>& lock, std::size_t limit) {
  if (next >= paths.size() || next > limit) return false;
  const std::size_t mine = next++;
  lock.unlock();
  FileScan scan = read_or_leave(paths[mine], quit);
  lock.lock();
  found[mine] = std::move(scan);
  notify(lock);
  return true;
}

void ScanAhead::State::notify(std::unique_lock<std::mutex>& lock) {
  progress.changed();
  // With the lock free, so that a thread woken does not at once wait for it
  // (and, put on this thread's core, take it from this thread meanwhile).
  lock.unlock();
  progress.notify_all();
  lock.lock();
}

void ScanAhead::State::read_files() {
  std::unique_lock lock(mutex);
  while (!quit.load(std::memory_order_relaxed)) {
    if (!read_next(lock, turn + kAhead)) progress.wait(lock);
  }
}

std::optional<FileScan> ScanAhead::State::take(const std::string& path) {
  std::unique_lock lock(mutex);
  if (turn >= paths.size() || paths[turn] != path) return std::nullopt;
  const std::size_t mine = turn++;
  while (!found[mine]) {
    if (!read_next(lock, mine + kAhead)) progress.wait(lock);
  }
  std::optional<FileScan> scan = std::move(found[mine]);
  found[mine].reset();
  progress.changed();
  // The worker, stopped kAhead files past the turn, may go on.
  lock.unlock();
  progress.notify_all();
  return scan;
}

ScanAhead::ScanAhead(std::vector<std::string> paths) {
  // One at a time, and only where a second thread may run and has work.
  if (living() != nullptr || paths.size() < 2 || IoWorker::threads_allowed() < 2) return;
  state_ = std::make_unique<State>(std::move(paths));
  try {
    state_->worker = std::thread([state = state_.get(), core = common::CurrentCore()] {
      common::LeaveCore(core);
      state->read_files();
    });
  } catch (const std::system_error&) {
    // No thread to be had: the caller still reads the files in turn.
  }
  living() = state_.get();
}

ScanAhead::~ScanAhead() {
  if (!state_) return;
  living() = nullptr;
  {
    std::lock_guard lock(state_->mutex);
    state_->quit.store(true, std::memory_order_relaxed);
    state_->progress.changed();
    state_->progress.notify_all();
  }
  if (state_->worker.joinable()) state_->worker.join();
}

std::optional<FileScan> take_scanned_ahead(const std::string& path) {
  ScanAhead::State* state = living();
  return state != nullptr ? state->take(path) : std::nullopt;
}

}  // namespace vantorelle
