// folder.cpp - the set's folder: files opened, created, renamed and removed by plain names only.
#include "folder.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace vantorelle::par2 {

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

bool is_plain_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::optional<std::size_t> read_at(int fd, std::uint64_t offset, std::span<unsigned char> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd, out.data() + done, out.size() - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

bool write_at(int fd, std::uint64_t offset, std::span<const unsigned char> data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<Folder> Folder::open(const std::string& path, std::string* error) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    *error = path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return Folder(std::move(fd), path);
}

std::optional<UniqueFd> Folder::open_regular(std::string_view name, std::string* error,
                                             int* errno_out) const {
  if (errno_out) *errno_out = 0;
  const std::string n(name);
  if (!is_plain_name(name)) {
    *error = "not a plain file name";
    return std::nullopt;
  }
  UniqueFd fd(::openat(fd_.get(), n.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) {
    const int e = errno;
    if (errno_out) *errno_out = e;
    *error = e == ELOOP ? "a link, not followed" : std::strerror(e);
    return std::nullopt;
  }
  struct stat st{};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    return std::nullopt;
  }
  return fd;
}

std::vector<std::string> Folder::regular_files() const {
  std::vector<std::string> names;
  const int dup = ::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dup < 0) return names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(dup), ::closedir);
  if (!dir) {
    ::close(dup);
    return names;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    struct stat st{};
    if (::fstatat(fd_.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
      names.emplace_back(entry->d_name);
  }
  return names;
}

std::optional<UniqueFd> Folder::create_temporary(std::string_view for_name, std::string* created,
                                                 std::string* error) const {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string name = "." + std::string(for_name) + ".vantorelle-par2-" + std::to_string(attempt);
    UniqueFd fd(::openat(fd_.get(), name.c_str(),
                         O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.valid()) {
      *created = std::move(name);
      return fd;
    }
    if (errno != EEXIST) {
      *error = name + ": " + std::strerror(errno);
      return std::nullopt;
    }
  }
  *error = std::string(for_name) + ": no free temporary name";
  return std::nullopt;
}

bool Folder::rename_noreplace(std::string_view from, std::string_view to, std::string* error) const {
  const std::string f(from), t(to);
  if (!is_plain_name(f) || !is_plain_name(t)) {
    *error = "not a plain file name";
    return false;
  }
  if (::renameat2(fd_.get(), f.c_str(), fd_.get(), t.c_str(), RENAME_NOREPLACE) != 0) {
    *error = f + " to " + t + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool Folder::remove(std::string_view name) const {
  const std::string n(name);
  return is_plain_name(n) && ::unlinkat(fd_.get(), n.c_str(), 0) == 0;
}

bool Folder::exists(std::string_view name) const {
  const std::string n(name);
  struct stat st{};
  return is_plain_name(n) && ::fstatat(fd_.get(), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace vantorelle::par2
