// output_file.cpp - buffered writing of an output file with a sticky error state.
#include "output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "vantorelle/common/write_all.hpp"

namespace vantorelle {

using common::WriteAll;

namespace {

OutputFile::OpenCall& open_call() {
  static OutputFile::OpenCall call;
  return call;
}

int open_output(const std::string& path, int flags, int mode) {
  const OutputFile::OpenCall& call = open_call();
  return call ? call(path, flags, mode) : ::open(path.c_str(), flags, mode);
}

}  // namespace

OutputFile::OpenCall OutputFile::replace_open(OpenCall call) { return std::exchange(open_call(), std::move(call)); }

std::optional<OutputFile> OutputFile::create(const std::string& path, std::size_t buffer_size) {
  const int fd = open_output(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  return OutputFile(fd, std::max<std::size_t>(buffer_size, 1));
}

std::optional<OutputFile> OutputFile::create_exclusive(const std::string& path,
                                                       std::size_t buffer_size) {
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
  int fd = open_output(path, kFlags | O_CREAT | O_EXCL, 0666);
  if (fd < 0 && errno == EEXIST) {
    // O_NONBLOCK: a FIFO put in its place must not hold the open.
    fd = open_output(path, kFlags | O_NONBLOCK, 0);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
                    st.st_size != 0)) {
      ::close(fd);
      errno = EEXIST;
      return std::nullopt;
    }
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  }
  if (fd < 0) return std::nullopt;
  return OutputFile(fd, std::max<std::size_t>(buffer_size, 1));
}

OutputFile::OutputFile(int fd, std::size_t buffer_size)
    : fd_(fd),
      buffer_(std::make_unique_for_overwrite<char[]>(buffer_size + kSlack)),
      capacity_(buffer_size) {}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      buffer_(std::move(other.buffer_)),
      capacity_(other.capacity_),
      used_(std::exchange(other.used_, 0)),
      length_(other.length_),
      error_(other.error_) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    buffer_ = std::move(other.buffer_);
    capacity_ = other.capacity_;
    used_ = std::exchange(other.used_, 0);
    length_ = other.length_;
    error_ = other.error_;
  }
  return *this;
}

OutputFile::~OutputFile() { close(); }

bool OutputFile::flush() {
  if (fd_ < 0) return false;
  if (used_ > 0 && !error_ && !WriteAll(fd_, buffer_.get(), used_)) error_ = true;
  used_ = 0;
  return !error_;
}

bool OutputFile::write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  if (error_) return false;
  if (size == 0) return true;  // data may then be null, which memcpy must not see
  length_ += size;
  if (size >= capacity_) {
    // Large blocks go straight to the file.
    if (!flush()) return false;
    if (!WriteAll(fd_, bytes, size)) error_ = true;
    return !error_;
  }
  if (used_ + size > capacity_ && !flush()) return false;
  std::memcpy(buffer_.get() + used_, bytes, size);
  used_ += size;
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) return !error_;
  flush();
  if (::close(fd_) != 0) error_ = true;
  fd_ = -1;
  return !error_;
}

}  // namespace vantorelle
