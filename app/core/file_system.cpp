// file_system.cpp - the system's own file-system calls, and the replacement that tests put in force.
#include "file_system.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace vantorelle::app {
namespace {

FileSystem*& InForce() {
  static FileSystem system;
  static FileSystem* current = &system;
  return current;
}

}  // namespace

int FileSystem::Open(const std::string& path, int flags, ::mode_t mode) { return ::open(path.c_str(), flags, mode); }

::ssize_t FileSystem::Write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int FileSystem::Status(const std::string& path, struct ::stat& info) { return ::stat(path.c_str(), &info); }

int FileSystem::LinkStatus(const std::string& path, struct ::stat& info) { return ::lstat(path.c_str(), &info); }

int FileSystem::MakeFolder(const std::string& path, ::mode_t mode) { return ::mkdir(path.c_str(), mode); }

int FileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the no-replace flag: look first (a narrow race).
  struct ::stat info {};
  if (LinkStatus(to, info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

int FileSystem::Remove(const std::string& path) { return std::remove(path.c_str()); }

FileSystem& file_system() { return *InForce(); }

FileSystemOverride::FileSystemOverride(FileSystem& replacement) : previous_(InForce()) { InForce() = &replacement; }

FileSystemOverride::~FileSystemOverride() { InForce() = previous_; }

}  // namespace vantorelle::app
