// input_file.cpp - buffered reading of an input file, line by line, with positions.
#include "input_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace vantorelle {
namespace {

InputFile::Identity identity_of(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec};
}

std::string_view up_to_nul(std::string_view text) {
  const void* nul = std::memchr(text.data(), '\0', text.size());
  return nul == nullptr ? text : text.substr(0, static_cast<const char*>(nul) - text.data());
}

}  // namespace

int InputFile::open_regular(const std::string& path, Identity& identity) {
  // Only regular files: a FIFO or a device could block the open or the reads,
  // or never end. O_NONBLOCK keeps the open itself from waiting; a regular
  // file's reads ignore it, so it stays set (two calls fewer an open).
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  identity = identity_of(st);
  return fd;
}

std::optional<InputFile::Identity> InputFile::identity_now(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return identity_of(st);
}

std::optional<InputFile> InputFile::open(const std::string& path, std::size_t buffer_size) {
  Identity identity;
  const int fd = open_regular(path, identity);
  if (fd < 0) return std::nullopt;
  return InputFile(fd, std::max<std::size_t>(buffer_size, 1), identity, path);
}

std::optional<InputFile> InputFile::open_whole(const std::string& path, std::size_t most, Buffer& spare) {
  Identity identity;
  const int fd = open_regular(path, identity);
  if (fd < 0) return std::nullopt;
  if (identity.size > most) {
    ::close(fd);
    return std::nullopt;
  }
  // Rounded up, so that a buffer serves the files after it too.
  constexpr std::size_t kRounding = 64 << 10;
  const std::size_t needed = std::max<std::size_t>(static_cast<std::size_t>(identity.size), 1);
  Buffer buffer = spare.capacity >= needed ? std::move(spare) : Buffer{};
  if (!buffer.bytes) {
    buffer.capacity = (needed + kRounding - 1) / kRounding * kRounding;
    buffer.bytes = std::make_unique_for_overwrite<char[]>(buffer.capacity + kPadding + kAlignment);
  }
  InputFile input(fd, buffer.capacity, identity, path, std::move(buffer.bytes));
  // On a cache line: the kernel copies into a block 16 bytes past one
  // (where a large allocation starts) several times slower.
  input.data_ += (kAlignment - reinterpret_cast<std::uintptr_t>(input.data_) % kAlignment) % kAlignment;
  std::memset(input.data_, 0, kPadding);
  input.read_through();
  return input;
}

InputFile::Buffer InputFile::release_buffer() {
  whole_ = false;
  begin_ = end_ = 0;
  Buffer buffer{std::move(buffer_), capacity_};
  capacity_ = 0;
  data_ = nullptr;
  return buffer;
}

bool InputFile::rewind_whole() {
  if (!whole_ || read_errors_ != 0) return false;
  buffer_pos_ = 0;
  begin_ = 0;
  end_ = static_cast<std::size_t>(identity_.size);
  eof_ = false;
  return true;
}

InputFile::InputFile(int fd, std::size_t buffer_size, const Identity& identity, std::string path,
                     std::unique_ptr<char[]> buffer)
    : fd_(fd),
      identity_(identity),
      path_(std::move(path)),
      buffer_(buffer ? std::move(buffer) : std::make_unique_for_overwrite<char[]>(buffer_size + kPadding)),
      data_(buffer_.get()),
      capacity_(buffer_size) {
  std::memset(data_, 0, kPadding);
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      identity_(other.identity_),
      path_(std::move(other.path_)),
      read_errors_(other.read_errors_),
      counted_(other.counted_),
      buffer_(std::move(other.buffer_)),
      data_(std::exchange(other.data_, nullptr)),
      capacity_(other.capacity_),
      next_read_(other.next_read_),
      begin_(other.begin_),
      end_(other.end_),
      buffer_pos_(other.buffer_pos_),
      eof_(other.eof_),
      had_break_(other.had_break_),
      line_(other.line_),
      line_length_(other.line_length_),
      source_(other.source_),
      whole_(other.whole_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    identity_ = other.identity_;
    path_ = std::move(other.path_);
    read_errors_ = other.read_errors_;
    counted_ = other.counted_;
    buffer_ = std::move(other.buffer_);
    data_ = std::exchange(other.data_, nullptr);
    capacity_ = other.capacity_;
    next_read_ = other.next_read_;
    begin_ = other.begin_;
    end_ = other.end_;
    buffer_pos_ = other.buffer_pos_;
    eof_ = other.eof_;
    had_break_ = other.had_break_;
    line_ = other.line_;
    line_length_ = other.line_length_;
    source_ = other.source_;
    whole_ = other.whole_;
  }
  return *this;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::refill() {
  buffer_pos_ += end_;
  begin_ = end_ = 0;
  if (!buffer_) return false;  // given up by release_buffer()
  if (source_ != nullptr && capacity_ == kDefaultBufferSize) {
    const std::size_t n = source_->take(path_, identity_, buffer_pos_, buffer_);
    data_ = buffer_.get();  // it may have been swapped
    if (n != 0) {
      took_block(n);
      return true;
    }
    // Whole blocks, so that the reads stay in step with those made ahead.
    next_read_ = capacity_;
  }
  // Positions past what a file offset can name read as the end of the input.
  if (buffer_pos_ > static_cast<std::uint64_t>(INT64_MAX)) return false;
  // At its own position: blocks taken from the source and seeks then cost no call.
  ssize_t n;
  do {
    n = ::pread(fd_, data_, std::min(capacity_, next_read_), static_cast<off_t>(buffer_pos_));
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    // Not the end of the file: the caller must say the input could not be read.
    ++read_errors_;
    eof_ = true;
    return false;
  }
  if (n == 0) return false;
  // Only the first read of the whole file leaves it all in the buffer.
  whole_ = buffer_pos_ == 0 && static_cast<std::uint64_t>(n) == identity_.size && capacity_ >= identity_.size;
  next_read_ = std::min(capacity_, next_read_ * 2);
  end_ = static_cast<std::size_t>(n);
  // The fast paths load whole vectors past the end; give them defined bytes.
  std::memset(data_ + end_, 0, kPadding);
  return true;
}

void InputFile::took_block(std::size_t n) {
  whole_ = false;
  end_ = n;
  std::memset(data_ + end_, 0, kPadding);
}

void InputFile::keep_text(std::string_view text) {
  const std::size_t room = kLineCapacity - line_length_;
  const std::size_t n = std::min(room, text.size());
  std::memcpy(line_.data() + line_length_, text.data(), n);
  line_length_ += n;
}

void InputFile::skip_lf_after_cr() {
  if (begin_ == end_ && !refill()) return;  // the end after a CR is not met by this read
  if (data_[begin_] == '\n') ++begin_;
}

std::string_view InputFile::read_line_head(bool& cut) {
  cut = false;
  had_break_ = false;
  line_length_ = 0;
  bool kept = false;  // whether the line is being gathered in line_
  for (;;) {
    if (begin_ == end_ && !refill()) {
      // A last line without its break is still a line.
      if (!kept) eof_ = true;
      return this->kept();
    }
    const char* data = data_ + begin_;
    const std::size_t available = end_ - begin_;
    const std::size_t room = kLineCapacity - line_length_;
    // A break right after a full line still ends it, so look one byte further.
    const char* brk = find_line_break(data, std::min(available, room + 1));
    if (brk == nullptr) {
      if (available > room) {  // the line goes on past the capacity
        cut = true;
        begin_ += room;
        if (!kept) return std::string_view(data, room);
        keep_text(std::string_view(data, room));
        return this->kept();
      }
      keep_text(std::string_view(data, available));
      kept = true;
      begin_ = end_;
      continue;
    }
    const std::string_view text(data, static_cast<std::size_t>(brk - data));
    begin_ += text.size() + 1;
    had_break_ = true;
    const bool cr = *brk == '\r';
    // Peeking for the LF of a CR LF may refill the buffer, so the line must
    // leave it first.
    if (kept || (cr && begin_ == end_)) {
      keep_text(text);
      kept = true;
    }
    if (cr) skip_lf_after_cr();
    return kept ? this->kept() : text;
  }
}

std::string_view InputFile::read_line_piece(bool& ended) {
  ended = false;
  if (begin_ == end_ && !refill()) {
    ended = true;  // the line's head was read: the end of a line, not of the input
    return {};
  }
  const char* data = data_ + begin_;
  const std::size_t available = end_ - begin_;
  const char* brk = find_line_break(data, available);
  if (brk == nullptr) {
    begin_ = end_;
    return std::string_view(data, available);
  }
  if (brk != data) {  // the break is consumed by the next call
    begin_ += static_cast<std::size_t>(brk - data);
    return std::string_view(data, static_cast<std::size_t>(brk - data));
  }
  ++begin_;
  if (*brk == '\r') skip_lf_after_cr();
  ended = true;
  had_break_ = true;
  return {};
}

std::string_view InputFile::read_line() {
  bool cut = false;
  std::string_view head = read_line_head(cut);
  if (cut) {
    // The rest is read and dropped; the head must leave the buffer first.
    if (head.data() != line_.data()) {
      line_length_ = 0;
      keep_text(head);
    }
    for (bool ended = false; !ended;) read_line_piece(ended);
    head = kept();
  }
  return up_to_nul(head);
}

std::uint64_t InputFile::line_number_at(std::uint64_t position) {
  if (position < counted_.position) counted_ = LineCount{};
  std::array<char, 64 * 1024> chunk;
  while (counted_.position < position) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), position - counted_.position));
    ssize_t n;
    do {
      n = ::pread(fd_, chunk.data(), want, static_cast<off_t>(counted_.position));
    } while (n < 0 && errno == EINTR);
    if (n <= 0) break;  // beyond the end or unreadable: what was counted stands
    for (ssize_t i = 0; i < n; ++i) {
      const char c = chunk[static_cast<std::size_t>(i)];
      if (c == '\r' || (c == '\n' && !counted_.after_cr)) ++counted_.breaks;
      counted_.after_cr = c == '\r';
    }
    counted_.position += static_cast<std::uint64_t>(n);
  }
  return counted_.breaks + 1;
}

void InputFile::seek(std::uint64_t position) {
  eof_ = false;
  if (position >= buffer_pos_ && position <= buffer_pos_ + end_) {
    begin_ = static_cast<std::size_t>(position - buffer_pos_);
    return;
  }
  buffer_pos_ = position;
  begin_ = end_ = 0;
  next_read_ = kFirstRead;
}

}  // namespace vantorelle
