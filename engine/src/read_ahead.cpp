// read_ahead.cpp - the input bytes of the parts to come, read on the worker while one is decoded.
#include "read_ahead.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>

#include "handoff.hpp"

namespace vantorelle {

struct ReadAhead::Block {
  enum Stage { kQueued, kReading, kReady, kDropped };
  std::size_t span = 0;
  std::uint64_t begin = 0;
  std::size_t want = 0;
  Stage stage = kQueued;
  std::unique_ptr<char[]> data;
  std::size_t size = 0;  // bytes read; 0 when the file could not be opened or read
  InputFile::Identity identity;
};

// Shared with the tasks still queued on the worker, which may outlive the ReadAhead.
struct ReadAhead::State {
  std::mutex mutex;
  Handoff ready;
  std::vector<Span> spans;  // never changed after the start
  std::deque<std::shared_ptr<Block>> blocks;  // scheduled, in reading order
  std::size_t current = 0;    // the span being decoded
  std::size_t next_span = 0;  // where scheduling goes on
  std::uint64_t next_begin = 0;
  std::vector<std::unique_ptr<char[]>> free;
  bool closed = false;
  // The input open for reading, kept from block to block by whichever thread
  // holds it; a read on the other thread meanwhile opens the file for itself.
  int fd = -1;
  std::string fd_path;
  InputFile::Identity fd_identity;
  bool fd_held = false;

  ~State() {
    if (fd >= 0) ::close(fd);
  }
  std::unique_ptr<char[]> buffer() {
    if (free.empty()) return std::make_unique_for_overwrite<char[]>(InputFile::kDefaultBufferSize + InputFile::kPadding);
    auto data = std::move(free.back());
    free.pop_back();
    return data;
  }
  void drop(Block& block) {
    block.stage = Block::kDropped;
    if (block.data && free.size() < kAhead) free.push_back(std::move(block.data));
  }
  void read(Block& block);
};

namespace {

std::size_t read_at(int fd, char* data, std::size_t want, std::uint64_t position) {
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n = ::pread(fd, data + got, want - got, static_cast<off_t>(position + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return 0;  // the decoding thread reads it again and reports the error
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

}  // namespace

void ReadAhead::State::read(Block& block) {
  std::unique_ptr<char[]> data;
  bool hold = false;
  {
    std::lock_guard lock(mutex);
    if (closed || block.stage != Block::kQueued) return;
    block.stage = Block::kReading;
    data = buffer();
    hold = !std::exchange(fd_held, true);
  }
  const std::string& path = spans[block.span].path;
  InputFile::Identity identity;
  int own = -1;
  int from = -1;
  if (hold) {
    if (fd < 0 || fd_path != path) {
      if (fd >= 0) ::close(fd);
      fd = InputFile::open_regular(path, fd_identity);
      fd_path = path;
    }
    from = fd;
    identity = fd_identity;
  } else {
    from = own = InputFile::open_regular(path, identity);
  }
  const std::size_t size = from < 0 ? 0 : read_at(from, data.get(), block.want, block.begin);
  if (own >= 0) ::close(own);
  std::lock_guard lock(mutex);
  if (hold) fd_held = false;
  block.data = std::move(data);
  block.size = size;
  block.identity = identity;
  block.stage = Block::kReady;
  ready.changed();
  ready.notify_all();
}

ReadAhead::ReadAhead(IoWorker& worker, std::vector<Span> spans)
    : worker_(worker), state_(std::make_shared<State>()) {
  state_->spans = std::move(spans);
  if (!state_->spans.empty()) state_->next_begin = state_->spans.front().begin;
  std::lock_guard lock(state_->mutex);
  schedule();
}

ReadAhead::~ReadAhead() {
  std::lock_guard lock(state_->mutex);
  state_->closed = true;
  for (const auto& block : state_->blocks) state_->drop(*block);
  state_->blocks.clear();
}

void ReadAhead::schedule() {
  State& s = *state_;
  while (s.blocks.size() < kAhead && s.next_span < s.spans.size()) {
    const Span& span = s.spans[s.next_span];
    if (s.next_begin >= span.end) {
      if (++s.next_span < s.spans.size()) s.next_begin = s.spans[s.next_span].begin;
      continue;
    }
    auto block = std::make_shared<Block>();
    block->span = s.next_span;
    block->begin = s.next_begin;
    block->want = static_cast<std::size_t>(std::min<std::uint64_t>(InputFile::kDefaultBufferSize, span.end - s.next_begin));
    s.next_begin += block->want;
    s.blocks.push_back(block);
    worker_.post_read([state = state_, block] { state->read(*block); });
  }
}

void ReadAhead::reach(std::size_t span) {
  State& s = *state_;
  std::lock_guard lock(s.mutex);
  s.current = span;
  while (!s.blocks.empty() && s.blocks.front()->span < span) {
    s.drop(*s.blocks.front());
    s.blocks.pop_front();
  }
  schedule();
}

std::size_t ReadAhead::take(const std::string& path, const InputFile::Identity& identity, std::uint64_t position,
                            std::unique_ptr<char[]>& buffer) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  // Blocks of this part that the reading has passed hold places the next ones need.
  while (!s.blocks.empty() && s.blocks.front()->span == s.current && s.spans[s.current].path == path &&
         s.blocks.front()->begin + s.blocks.front()->want <= position) {
    s.drop(*s.blocks.front());
    s.blocks.pop_front();
  }
  for (auto it = s.blocks.begin(); it != s.blocks.end(); ++it) {
    const std::shared_ptr<Block> block = *it;
    if (s.spans[block->span].path != path || position < block->begin || position >= block->begin + block->want) {
      continue;
    }
    if (block->stage == Block::kQueued && position == block->begin) {
      s.drop(*block);  // the worker is behind: this thread reads it itself
      s.blocks.erase(it);
      schedule();
      return 0;
    }
    while (block->stage != Block::kReady) {
      // While the worker reads this block, the next one not begun is read here.
      lock.unlock();
      const bool read = worker_.run_read_here();
      lock.lock();
      if (!read) s.ready.wait(lock, [&] { return block->stage == Block::kReady; });
    }
    std::size_t n = 0;
    const std::uint64_t skip = position - block->begin;
    if (block->identity == identity && skip < block->size) {
      n = block->size - static_cast<std::size_t>(skip);
      if (skip == 0) {
        std::swap(buffer, block->data);
      } else {
        std::memcpy(buffer.get(), block->data.get() + skip, n);
      }
    }
    s.drop(*block);
    s.blocks.erase(it);  // only this thread changes the list, so `it` survived the reads and waits
    schedule();
    return n;
  }
  return 0;
}

}  // namespace vantorelle
