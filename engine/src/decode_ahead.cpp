// decode_ahead.cpp - yEnc parts decoded while their input file is scanned, and taken over by assembly.
#include "decode_ahead.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string_view>

#include "crc32_fast.hpp"
#include "decoders.hpp"
#include "hooks.hpp"
#include "part_offsets.hpp"
#include "uncached_writes.hpp"

namespace vantorelle {

namespace {

// Buffers to decode parts into, kept once written: a new buffer's pages
// cost a fault each on first use.
class SpareBuffers {
 public:
  // At least `size` bytes (and OutputFile::kSlack more). Capacities are
  // rounded up, so that a buffer fits the parts that come after it.
  OutputFile::Unwritten take(std::size_t size) {
    {
      const std::lock_guard lock(mutex_);
      for (auto spare = spares_.begin(); spare != spares_.end(); ++spare) {
        if (spare->capacity < size) continue;
        OutputFile::Unwritten found = std::move(*spare);
        spares_.erase(spare);
        return found;
      }
    }
    const std::size_t capacity = (size + kRounding - 1) / kRounding * kRounding;
    return {std::make_unique_for_overwrite<char[]>(capacity + OutputFile::kSlack), 0, 0, capacity};
  }

  void give(OutputFile::Unwritten buffer) {
    const std::lock_guard lock(mutex_);
    if (buffer.buffer && spares_.size() < kKept) spares_.push_back(std::move(buffer));
  }

 private:
  static constexpr std::size_t kKept = 8;
  static constexpr std::size_t kRounding = 64 << 10;

  std::mutex mutex_;
  std::vector<OutputFile::Unwritten> spares_;
};

// One output's writes from both scanning threads. The kernel runs one
// buffered write into a file at a time, and a thread whose write meets
// another's would spin until it ends; it leaves its bytes for a later writer
// instead, and goes on scanning. Each writer takes at most one such write
// besides its own, so that neither thread ends up doing only the writing.
class SharedWrites {
 public:
  SharedWrites(int fd, bool uncached, SpareBuffers& spares) : fd_(fd), spares_(spares) {
    writer_.set_uncached(uncached);
    drains_ = uncached;
  }

  void write(OutputFile::Unwritten bytes) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return !writing_ || left_bytes_ < kMostLeft; });
    if (writing_) {
      left_bytes_ += bytes.size;
      left_.push_back(std::move(bytes));
      return;
    }
    writing_ = true;
    write_out(lock, std::move(bytes));
    do {
      if (!left_.empty()) write_out(lock, take_left());
    } while (drains_ && !left_.empty());
    writing_ = false;
    room_.notify_all();
  }

  // Writes what was left; false when a write has failed. Once every
  // scanning thread is done.
  bool finish() {
    std::unique_lock lock(mutex_);
    while (!left_.empty()) write_out(lock, take_left());
    return !failed_;
  }

 private:
  static constexpr std::size_t kMostLeft = 4 << 20;

  OutputFile::Unwritten take_left() {
    OutputFile::Unwritten bytes = std::move(left_.front());
    left_.pop_front();
    left_bytes_ -= bytes.size;
    return bytes;
  }

  // With the lock released meanwhile.
  void write_out(std::unique_lock<std::mutex>& lock, OutputFile::Unwritten bytes) {
    lock.unlock();
    // Space set aside first skips most of the file system's work in the
    // write; only where the bytes are, never for a header's claim alone.
    if (bytes.size != 0) {
      ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(bytes.offset), static_cast<off_t>(bytes.size));
    }
    const bool written =
        bytes.size == 0 || writer_.write(fd_, bytes.buffer.get(), bytes.size, static_cast<std::int64_t>(bytes.offset));
    spares_.give(std::move(bytes));
    lock.lock();
    failed_ = failed_ || !written;
  }

  const int fd_;
  SpareBuffers& spares_;
  PositionalWriter writer_;  // used by one writer at a time
  std::mutex mutex_;
  std::condition_variable room_;
  std::deque<OutputFile::Unwritten> left_;
  std::size_t left_bytes_ = 0;
  bool writing_ = false;
  bool failed_ = false;
  bool drains_ = false;
};

}  // namespace

struct DecodeAhead::State {
  // One output's temporary file and the parts decoded into it.
  struct Output {
    std::string temp_path;
    int fd = -1;
    std::unique_ptr<SharedWrites> writes;
    std::vector<PartAhead> parts;
  };

  explicit State(std::string where) : folder(std::move(where)) {}
  ~State() {
    for (auto& [key, output] : outputs) remove(output);
  }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  static void remove(Output& output) {
    if (output.fd < 0) return;
    ::unlink(output.temp_path.c_str());
    ::close(output.fd);
    output.fd = -1;
  }

  // The record's temporary file, made on first use; none when it cannot
  // be made. With the lock held.
  const Output* file_for(const std::string& key, const OutputFileRecord& record);

  // Each output holds a descriptor until it is taken, and each part a
  // record: beyond these the rest is decoded in turn.
  static constexpr std::size_t kMostOutputs = 64;
  static constexpr std::size_t kMostParts = 1 << 17;

  const std::string folder;
  std::mutex mutex;
  std::size_t parts = 0;                  // decoded ahead so far
  SpareBuffers spares;                    // before the outputs, whose writes give buffers back
  std::map<std::string, Output> outputs;  // by output_key()
  std::set<std::string> refused;          // outputs whose file could not be made
};

namespace {

DecodeAhead::State*& living() {
  static DecodeAhead::State* state = nullptr;
  return state;
}

bool turned_off() {
  const char* value = std::getenv("VANTORELLE_DECODE_AHEAD");
  return value != nullptr && std::string_view(value) == "0";
}

// The parts of one output: its subject key, the name from its data and its size.
std::string output_key(const std::string& subject, const std::string& name, std::int64_t size) {
  std::string key = subject;
  key += '\0';
  key += name;
  key += '\0';
  key += std::to_string(size);
  return key;
}

// The name's letters as a file name may hold them: it only names the
// temporary file, which the output's own name replaces.
std::string safe_name(std::string name) {
  for (char& c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '/' || u < 0x20 || u == 0x7f) c = '_';
  }
  return name.empty() || name == "." || name == ".." ? std::string("output") : name;
}

bool may_decode_ahead(const OutputFileRecord& record, const SegmentRecord& segment) {
  return record.kind == kKindYEnc && record.yenc_size_given && record.yenc_size > 0 && segment.yenc_range &&
         segment.yenc_begin >= 1 && segment.yenc_end >= segment.yenc_begin && segment.yenc_end <= record.yenc_size;
}

// Decodes the segment as assembly would, into its range of the file `fd`.
PartAhead decode_part_ahead(InputFile& input, int fd, SharedWrites& writes, SpareBuffers& spares,
                            const SegmentRecord& segment) {
  PartAhead part;
  part.source_path = segment.source_path;
  part.identity = input.identity();
  part.start_offset = segment.start_offset;
  part.end_offset = segment.end_offset;
  part.yenc_begin = segment.yenc_begin;
  part.yenc_end = segment.yenc_end;
  part.part_crc = segment.part_crc;
  // Room for all it can decode to (never more bytes than it reads), which
  // is written at once at the end.
  const std::uint64_t end = std::min(segment.end_offset, input.identity().size);
  const std::uint64_t span = end - std::min(segment.start_offset, end);
  OutputFile::Unwritten buffer = spares.take(static_cast<std::size_t>(span) + 2 * kLineCapacity);
  auto output = OutputFile::write_into(fd, buffer.capacity, std::move(buffer.buffer));
  if (!output || !input.rewind_whole()) return part;
  output->place_at(static_cast<std::uint64_t>(segment.yenc_begin - 1), static_cast<std::uint64_t>(segment.yenc_end));
  std::uint32_t crc = kCrcPreset;
  {
    const dispatch::AheadOfTurn away(part.polls);
    part.result = DecodeyEnc(input, *output, segment.start_offset, segment.end_offset, segment.part_crc, &crc,
                             &part.yend_size, &part.cut_short, nullptr);
  }
  part.decoded = output->length();
  part.crc = crc;
  if (output->error() && part.result != kDecodeStopped) part.result = kDecodeWriteFailed;
  writes.write(output->take_unwritten());
  return part;
}

bool same_folder(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  const auto folder_of = [](const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
  };
  return ::stat(folder_of(a).c_str(), &sa) == 0 && ::stat(folder_of(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Whether the input is still as it was read.
bool unchanged(const PartAhead& part) { return InputFile::identity_now(part.source_path) == part.identity; }

bool stands_for_decoding(const PartAhead& part) {
  return part.result == kDecodeOk || part.result == kDecodeCrcMismatch;
}

// Pairs every part decoded ahead with the segment of the output it was
// decoded from. Nothing when one has none, or two share bytes: the file
// would then hold bytes that decoding the output in turn never writes.
std::optional<std::unordered_map<const SegmentRecord*, PartAhead>> pair_parts(
    std::vector<PartAhead> parts, const std::vector<const SegmentRecord*>& segments) {
  std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.yenc_begin < b.yenc_begin; });
  std::map<std::pair<std::string_view, std::uint64_t>, const SegmentRecord*> by_start;
  for (const SegmentRecord* segment : segments)
    by_start.emplace(std::pair{std::string_view(segment->source_path), segment->start_offset}, segment);
  std::map<std::string, bool> checked;  // inputs by path: unchanged or not
  std::unordered_map<const SegmentRecord*, PartAhead> paired;
  std::int64_t last_end = 0;
  for (PartAhead& part : parts) {
    if (part.yenc_begin <= last_end) return std::nullopt;
    last_end = part.yenc_end;
    const auto found = by_start.find({part.source_path, part.start_offset});
    if (found == by_start.end()) return std::nullopt;
    const SegmentRecord& segment = *found->second;
    if (!segment.yenc_range || segment.end_offset != part.end_offset || segment.yenc_begin != part.yenc_begin ||
        segment.yenc_end != part.yenc_end || segment.part_crc != part.part_crc) {
      return std::nullopt;
    }
    auto [input, fresh] = checked.try_emplace(part.source_path, false);
    if (fresh) input->second = unchanged(part);
    if (!input->second) return std::nullopt;
    if (stands_for_decoding(part)) paired.emplace(found->second, std::move(part));
  }
  return paired;
}

}  // namespace

const DecodeAhead::State::Output* DecodeAhead::State::file_for(const std::string& key, const OutputFileRecord& record) {
  if (parts >= kMostParts) return nullptr;
  if (const auto found = outputs.find(key); found != outputs.end()) return &found->second;
  if (refused.count(key) != 0 || outputs.size() >= kMostOutputs) return nullptr;
  Output output;
  output.fd = OutputFile::create_temporary(folder + safe_name(record.dest_name), output.temp_path);
  // The size it will have, the bytes no part writes reading as zeros.
  if (output.fd >= 0 && ::ftruncate(output.fd, static_cast<off_t>(record.yenc_size)) != 0) remove(output);
  if (output.fd < 0) {
    refused.insert(key);
    return nullptr;
  }
  output.writes = std::make_unique<SharedWrites>(
      output.fd, WantUncachedWrites(static_cast<std::uint64_t>(record.yenc_size)), spares);
  return &outputs.emplace(key, std::move(output)).first->second;
}

DecodeAhead::DecodeAhead(std::string folder) {
  if (living() != nullptr || turned_off()) return;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  state_ = std::make_unique<State>(std::move(folder));
  living() = state_.get();
}

DecodeAhead::~DecodeAhead() {
  if (state_ && living() == state_.get()) living() = nullptr;
}

bool DecodingAhead() { return living() != nullptr; }

void DecodeFileAhead(const Catalogue& found, InputFile& input) {
  DecodeAhead::State* state = living();
  if (state == nullptr || input.identity().size > kMostHeldAhead) return;
  for (const OutputFileRecord& record : found.records()) {
    if (record.kind != kKindYEnc) continue;
    const std::string key = output_key(record.subject, record.dest_name, record.yenc_size);
    for (const SegmentRecord& segment : record.segments) {
      if (!may_decode_ahead(record, segment) || uuStopRequested()) continue;
      int fd = -1;
      SharedWrites* writes = nullptr;
      {
        const std::lock_guard lock(state->mutex);
        const DecodeAhead::State::Output* output = state->file_for(key, record);
        if (output == nullptr) break;
        fd = output->fd;
        writes = output->writes.get();
      }
      PartAhead part = decode_part_ahead(input, fd, *writes, state->spares, segment);
      const std::lock_guard lock(state->mutex);
      state->outputs.at(key).parts.push_back(std::move(part));
      ++state->parts;
    }
  }
}

std::optional<TakenAhead> TakeDecodedAhead(const OutputFileRecord& record, const std::string& subject,
                                           const std::string& name, const std::vector<const SegmentRecord*>& segments,
                                           const std::string& path) {
  DecodeAhead::State* state = living();
  if (state == nullptr) return std::nullopt;
  DecodeAhead::State::Output output;
  {
    const std::lock_guard lock(state->mutex);
    const auto found = state->outputs.find(output_key(subject, name, record.yenc_size));
    if (found == state->outputs.end()) return std::nullopt;
    output = std::move(found->second);
    state->outputs.erase(found);
  }
  std::optional<std::unordered_map<const SegmentRecord*, PartAhead>> paired;
  if (PartsHaveOffsets(record) && output.writes->finish() && same_folder(output.temp_path, path)) {
    paired = pair_parts(std::move(output.parts), segments);
  }
  if (!paired) {
    DecodeAhead::State::remove(output);
    return std::nullopt;
  }
  return TakenAhead{OutputFile::adopt_temporary(output.fd, std::move(output.temp_path), path), std::move(*paired)};
}

}  // namespace vantorelle
