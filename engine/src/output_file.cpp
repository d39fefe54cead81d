// output_file.cpp - buffered writing of an output file with a sticky error state.
#include "output_file.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>
#include <utility>

#include "vantorelle/common/utf8_cut.hpp"
#include "vantorelle/engine.hpp"
#include "write_behind.hpp"

namespace vantorelle {

namespace {

OutputFile::OpenCall& open_call() {
  static OutputFile::OpenCall call;
  return call;
}

int open_output(const std::string& path, int flags, int mode) {
  const OutputFile::OpenCall& call = open_call();
  return call ? call(path, flags, mode) : ::open(path.c_str(), flags, mode);
}

constexpr std::string_view kTemporaryMark = ".vantorelle-";
constexpr std::size_t kRandomLetters = 6;
constexpr std::size_t kNameMax = 255;
constexpr int kTemporaryAttempts = 100;
// A folder full of taken names ends the search rather than the run.
constexpr int kMoveAttempts = 10000;

NextOutputNameHook& next_name_hook() {
  static NextOutputNameHook hook;
  return hook;
}

// The output being written under a temporary name, for discarding it.
OutputFile*& being_written() {
  static OutputFile* output = nullptr;
  return output;
}

bool is_random_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::pair<std::string, std::string> split_path(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

std::string temporary_name(const std::string& name) {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  // Per thread: outputs decoded ahead get their names on the scanning threads.
  static thread_local std::mt19937 random{std::random_device{}()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
  const std::size_t room = kNameMax - 1 - kTemporaryMark.size() - kRandomLetters;
  std::string temp = "." + std::string(common::CutToLimit(name, room)) + std::string(kTemporaryMark);
  for (std::size_t i = 0; i < kRandomLetters; ++i) temp += kLetters[pick(random)];
  return temp;
}

// "-(attempt)" before the extension of the name asked for.
std::string numbered_name(const std::string& wanted, int attempt) {
  const auto [folder, name] = split_path(wanted);
  const auto dot = name.rfind('.');
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  return folder + base + "-(" + std::to_string(attempt) + ")" + ext;
}

bool is_lone_empty_file(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0 &&
         st.st_nlink == 1;
}

// rename(2) that never replaces: renameat2's flag, or a link and an unlink
// where the file system does not know the flag.
int rename_no_replace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) != 0) return -1;
  ::unlink(from.c_str());
  return 0;
}

// Puts `from` in the place of the empty file `to`. The two are swapped and
// what came back is looked at, so that a file with data that another run
// moved there in the meantime is swapped back, never removed.
bool replace_empty_file(const std::string& from, const std::string& to) {
  if (uuIsTemporaryOutputName(split_path(to).second) || !is_lone_empty_file(to)) return false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE) != 0) return false;
  if (is_lone_empty_file(from)) {
    ::unlink(from.c_str());
    return true;
  }
  ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
  return false;
}

}  // namespace

OutputFile::OpenCall OutputFile::replace_open(OpenCall call) { return std::exchange(open_call(), std::move(call)); }

std::optional<OutputFile> OutputFile::create(const std::string& path, std::size_t buffer_size) {
  const int fd = open_output(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  return OutputFile(fd, std::max<std::size_t>(buffer_size, 1));
}

int OutputFile::create_temporary(const std::string& path, std::string& temp_path) {
  const auto [folder, name] = split_path(path);
  if (name.empty() || name == "." || name == "..") {
    errno = EISDIR;
    return -1;
  }
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    std::string temp = folder + temporary_name(name);
    const int fd = open_output(temp, kFlags, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    // Held until the move: a run that finds the file locked leaves it alone.
    ::flock(fd, LOCK_EX);
    temp_path = std::move(temp);
    return fd;
  }
  errno = EEXIST;
  return -1;
}

std::optional<OutputFile> OutputFile::create_exclusive(const std::string& path,
                                                       std::size_t buffer_size) {
  std::string temp;
  const int fd = create_temporary(path, temp);
  if (fd < 0) return std::nullopt;
  return adopt_temporary(fd, std::move(temp), path, buffer_size);
}

OutputFile OutputFile::adopt_temporary(int fd, std::string temp_path, const std::string& path,
                                       std::size_t buffer_size) {
  OutputFile output(fd, std::max<std::size_t>(buffer_size, 1));
  output.path_ = path;
  output.temp_path_ = std::move(temp_path);
  being_written() = &output;
  return output;
}

std::optional<OutputFile> OutputFile::write_into(int fd, std::size_t buffer_size, std::unique_ptr<char[]> buffer) {
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (own < 0) return std::nullopt;
  return OutputFile(own, std::max<std::size_t>(buffer_size, 1), std::move(buffer));
}

OutputFile::OutputFile(int fd, std::size_t buffer_size, std::unique_ptr<char[]> buffer)
    : fd_(fd),
      buffer_(buffer ? std::move(buffer) : std::make_unique_for_overwrite<char[]>(buffer_size + kSlack)),
      capacity_(buffer_size) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      capacity_(other.capacity_),
      used_(std::exchange(other.used_, 0)),
      length_(other.length_),
      position_(other.position_),
      limit_(other.limit_),
      reserved_(other.reserved_),
      error_(other.error_),
      failed_at_(other.failed_at_),
      path_(std::move(other.path_)),
      temp_path_(std::exchange(other.temp_path_, {})),
      writer_(std::move(other.writer_)),
      behind_(std::move(other.behind_)),
      crc_behind_(other.crc_behind_),
      appended_(other.appended_),
      counted_to_(other.counted_to_),
      handed_to_(other.handed_to_),
      cuts_(std::move(other.cuts_)),
      pieces_(std::move(other.pieces_)) {
  if (being_written() == &other) being_written() = this;
}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    capacity_ = other.capacity_;
    used_ = std::exchange(other.used_, 0);
    path_ = std::move(other.path_);
    temp_path_ = std::exchange(other.temp_path_, {});
    if (being_written() == &other) being_written() = this;
    length_ = other.length_;
    position_ = other.position_;
    limit_ = other.limit_;
    reserved_ = other.reserved_;
    error_ = other.error_;
    failed_at_ = other.failed_at_;
    writer_ = std::move(other.writer_);
    behind_ = std::move(other.behind_);
    crc_behind_ = other.crc_behind_;
    appended_ = other.appended_;
    counted_to_ = other.counted_to_;
    handed_to_ = other.handed_to_;
    cuts_ = std::move(other.cuts_);
    pieces_ = std::move(other.pieces_);
  }
  return *this;
}

OutputFile::~OutputFile() {
  close();
  if (being_written() == this) being_written() = nullptr;
}

bool OutputFile::flush() {
  if (fd_ < 0) return false;
  if (used_ > 0 && !error_) {
    if (behind_) {
      hand_over();
    } else {
      write_out(buffer_.get(), used_);
    }
  }
  used_ = 0;
  return !error_;
}

std::size_t OutputFile::within_limit(std::size_t size) const {
  const std::uint64_t room = position_ >= limit_ ? 0 : limit_ - position_;
  return static_cast<std::size_t>(std::min<std::uint64_t>(size, room));
}

bool OutputFile::write_out(const char* data, std::size_t size) {
  const std::size_t kept = within_limit(size);
  const std::uint64_t at = position_;
  position_ += size;
  if (!settle()) return false;
  if (kept != 0 && !writer_->write(fd_, data, kept, static_cast<std::int64_t>(at))) {
    error_ = true;
    failed_at_ = at + writer_->last_written();
  }
  return !error_;
}

void OutputFile::hand_over() {
  if (behind_->failed()) {
    error_ = true;
    return;
  }
  const std::size_t kept = within_limit(used_);
  const std::uint64_t at = position_;
  position_ += used_;
  std::vector<CrcPiece> pieces = uncounted_pieces();
  if (kept == 0) {
    // Nothing to write: the bytes are counted here before the buffer is reused.
    for (const CrcPiece& piece : pieces) {
      count_here(piece.from, buffer_.get() + (piece.from - (appended_ - used_)), piece.length);
    }
    return;
  }
  if (!pieces.empty()) handed_to_ = appended_;
  buffer_ = behind_->write(std::move(buffer_), kept, at, capacity_ + kSlack, std::move(pieces),
                           appended_ - used_);
}

std::vector<CrcPiece> OutputFile::uncounted_pieces() {
  std::vector<CrcPiece> pieces;
  if (!crc_behind_) return pieces;
  std::uint64_t from = std::max(appended_ - used_, counted_to_);
  cuts_.push_back(appended_);
  for (const std::uint64_t cut : cuts_) {
    if (cut <= from) continue;
    pieces.push_back({from, cut - from, 0});
    from = cut;
  }
  cuts_.clear();
  counted_to_ = std::max(counted_to_, appended_);
  return pieces;
}

void OutputFile::count_here(std::uint64_t from, const char* data, std::size_t size) {
  if (size == 0) return;
  pieces_[from] = {from, size, crc_update(0, reinterpret_cast<const unsigned char*>(data), size)};
  counted_to_ = std::max(counted_to_, from + size);
}

bool OutputFile::crc_behind() {
  crc_behind_ = behind_ != nullptr;
  counted_to_ = handed_to_ = appended_;
  return crc_behind_;
}

std::uint64_t OutputFile::crc_mark() {
  if (crc_behind_ && appended_ > counted_to_ && (cuts_.empty() || cuts_.back() != appended_)) {
    cuts_.push_back(appended_);
  }
  return appended_;
}

std::optional<std::uint32_t> OutputFile::crc_between(std::uint64_t from, std::uint64_t to) {
  if (behind_) {
    behind_->settle_crc(std::min(to, handed_to_));
    for (const CrcPiece& piece : behind_->take_crc_pieces()) pieces_[piece.from] = piece;
  }
  // What is still in the buffer is counted here.
  const std::uint64_t start = appended_ - used_;
  const std::uint64_t begin = std::max({from, start, counted_to_});
  if (to > begin && to <= appended_) {
    count_here(begin, buffer_.get() + (begin - start), static_cast<std::size_t>(to - begin));
  }
  std::uint32_t reg = 0;
  std::uint64_t next = from;
  bool whole = true;
  while (!pieces_.empty() && pieces_.begin()->first < to) {
    const CrcPiece piece = pieces_.begin()->second;
    pieces_.erase(pieces_.begin());
    if (piece.from < from) continue;  // an earlier range nobody asked for
    if (piece.from != next) whole = false;
    reg = crc_shift(reg, piece.length) ^ piece.reg;
    next = piece.from + piece.length;
  }
  if (!whole || next != to) return std::nullopt;
  return reg;
}

void OutputFile::write_behind(IoWorker& worker) {
  if (fd_ < 0 || behind_ || !flush()) return;
  behind_ = std::make_unique<WriteBehind>(worker, fd_, *writer_);
}

bool OutputFile::settle() {
  if (behind_ && !behind_->settle() && !error_) {
    error_ = true;
    errno = behind_->error_number();
  }
  return !error_;
}

std::uint64_t OutputFile::failed_at() const {
  return behind_ ? std::min(failed_at_, behind_->failed_at()) : failed_at_;
}

std::uint64_t OutputFile::writes_handed() const { return behind_ ? behind_->queued() : 0; }

bool OutputFile::settle(std::uint64_t mark) {
  if (!behind_) return settle();
  if (behind_->settle(mark)) return true;
  if (!error_) {
    error_ = true;
    errno = behind_->error_number();
  }
  return false;
}

void OutputFile::forget_from(std::uint64_t length) {
  if (!error_ || length > length_) return;
  length_ = length;
  used_ = 0;
}

void OutputFile::write_uncached() {
  settle();
  writer_->set_uncached(true);
}

bool OutputFile::place_at(std::uint64_t offset, std::uint64_t limit) {
  if (!flush()) return false;
  // Every write says where it goes: nothing to move.
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
    error_ = true;
    return false;
  }
  position_ = offset;
  limit_ = limit;
  return true;
}

bool OutputFile::resize(std::uint64_t size) {
  if (!flush() || !settle()) return false;
  if (size > static_cast<std::uint64_t>(INT64_MAX) || ::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    error_ = true;
  }
  return !error_;
}

void OutputFile::reserve(std::uint64_t size) {
  if (fd_ < 0 || error_ || size == 0 || size > static_cast<std::uint64_t>(INT64_MAX)) return;
  // fallocate, not posix_fallocate, which writes zeros where the file system lacks it.
  if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) reserved_ = size;
}

void OutputFile::release_reserve() {
  struct stat st {};
  if (reserved_ == 0 || ::fstat(fd_, &st) != 0 || static_cast<std::uint64_t>(st.st_size) >= reserved_) return;
  // A truncation to the size the file has frees the blocks past its end
  // (punching a hole there does not, on ext4).
  if (::ftruncate(fd_, st.st_size) == 0) reserved_ = 0;
}

bool OutputFile::write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (error_) return false;
  if (size == 0) return true;  // data may then be null, which memcpy must not see
  length_ += size;
  if (size >= capacity_) {
    // Large blocks go straight to the file.
    if (!flush()) return false;
    if (crc_behind_) count_here(appended_, bytes, size);
    appended_ += size;
    return write_out(bytes, size);
  }
  if (used_ + size > capacity_ && !flush()) return false;
  std::memcpy(buffer_.get() + used_, bytes, size);
  used_ += size;
  appended_ += size;
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) return !error_;
  flush();
  settle();
  failed_at_ = failed_at();
  behind_.reset();
  release_reserve();
  // Moved while still locked, so the temporary name is never seen unlocked.
  if (!temp_path_.empty() && !move_into_place()) error_ = true;
  if (::close(fd_) != 0) error_ = true;
  fd_ = -1;
  return !error_;
}

bool OutputFile::move_into_place() {
  if (being_written() == this) being_written() = nullptr;
  const std::string wanted = path_;
  std::string target = wanted;
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    const bool moved = rename_no_replace(temp_path_, target) == 0;
    const int error = errno;
    if (moved || (error == EEXIST && replace_empty_file(temp_path_, target))) {
      path_ = std::move(target);
      temp_path_.clear();
      return true;
    }
    if (error != EEXIST) break;
    const NextOutputNameHook& next = next_name_hook();
    target = next ? next(wanted, attempt) : numbered_name(wanted, attempt);
  }
  // The data stays under the temporary name, where the next run names it.
  path_ = temp_path_;
  return false;
}

OutputFile::Unwritten OutputFile::take_unwritten() {
  settle();
  Unwritten unwritten;
  if (!error_) unwritten = {std::move(buffer_), within_limit(used_), position_, capacity_};
  used_ = 0;
  close();
  return unwritten;
}

void OutputFile::discard() {
  if (being_written() == this) being_written() = nullptr;
  if (behind_) behind_->settle();  // the worker must be done with the file first
  behind_.reset();
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
  path_.clear();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  used_ = 0;
  error_ = true;
}

bool uuIsTemporaryOutputName(std::string_view name) {
  const std::size_t tail = kTemporaryMark.size() + kRandomLetters;
  if (name.size() < 2 + tail || name.front() != '.') return false;
  const std::string_view end = name.substr(name.size() - tail);
  return end.starts_with(kTemporaryMark) &&
         std::all_of(end.begin() + static_cast<std::ptrdiff_t>(kTemporaryMark.size()), end.end(),
                     is_random_letter);
}

void uuSetNextOutputName(NextOutputNameHook hook) { next_name_hook() = std::move(hook); }

void uuDiscardOutputInProgress() {
  if (OutputFile* output = being_written()) output->discard();
}

}  // namespace vantorelle
