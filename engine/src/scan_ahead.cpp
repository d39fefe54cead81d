// scan_ahead.cpp - scanning a run's input files with a second thread reading ahead.
//
// Reading an input file is most of scanning it and touches nothing shared, so
// two threads read files (each takes the next one not yet taken), and this
// one, between its reads, takes the findings into the catalogue strictly in
// the order of the list, announcing each file and making its polls just as
// uuScanFile would.
// The reader keeps at most kAhead files beyond the one being taken in, so the
// findings held stay small.
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "hooks.hpp"
#include "scanner.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

constexpr std::size_t kAhead = 8;

class ScanAhead {
 public:
  explicit ScanAhead(const std::vector<std::string>& paths)
      : paths_(paths), found_(paths.size()) {}

  void run(Catalogue& catalogue) {
    std::thread reader([this] { read_files(); });
    try {
      for (std::size_t i = 0; i < paths_.size(); ++i) take(catalogue, i);
    } catch (...) {
      stop(reader);
      throw;
    }
    stop(reader);
  }

 private:
  // Takes file i in, reading files here too while it is not ready: file i
  // itself when no thread has taken it yet, else the next one within reach.
  void take(Catalogue& catalogue, std::size_t i) {
    std::unique_lock lock(mutex_);
    merged_ = i;
    changed_.notify_all();
    while (!found_[i]) {
      if (failure_) std::rethrow_exception(failure_);
      if (next_ < paths_.size() && next_ <= i + kAhead) {
        const std::size_t mine = next_++;
        lock.unlock();
        FileScan scan = read_input(paths_[mine]);
        lock.lock();
        found_[mine] = std::move(scan);
      } else {
        changed_.wait(lock);
      }
    }
    FileScan scan = std::move(*found_[i]);
    found_[i].reset();
    lock.unlock();
    dispatch::BusyCallback(kBusyScanning, -1, 0, "%s", paths_[i].c_str());
    take_findings(catalogue, paths_[i], scan);
  }

  void read_files() {
    try {
      std::unique_lock lock(mutex_);
      for (;;) {
        changed_.wait(lock, [this] {
          return quit_ || next_ >= paths_.size() || next_ <= merged_ + kAhead;
        });
        if (quit_ || next_ >= paths_.size()) return;
        const std::size_t mine = next_++;
        lock.unlock();
        FileScan scan = read_input(paths_[mine]);
        lock.lock();
        found_[mine] = std::move(scan);
        changed_.notify_all();
      }
    } catch (...) {
      std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      changed_.notify_all();
    }
  }

  void stop(std::thread& reader) {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      changed_.notify_all();
    }
    reader.join();
  }

  const std::vector<std::string>& paths_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<FileScan>> found_;  // read, not yet taken in
  std::size_t next_ = 0;    // the first file no thread has taken
  std::size_t merged_ = 0;  // the file being taken in
  bool quit_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void uuScanFiles(Catalogue& catalogue, const std::vector<std::string>& paths) {
  if (paths.size() < 2 || std::thread::hardware_concurrency() < 2) {
    for (const auto& path : paths) uuScanFile(catalogue, path);
    return;
  }
  ScanAhead(paths).run(catalogue);
}

}  // namespace vantorelle
