// file_system.hpp - the calls by which the shell checks, creates, renames and removes names, replaceable by tests.
//
// Everything in the core that looks at a name before using it, makes a file
// or folder, moves or deletes one goes through file_system(). Each call
// answers as the system call it stands for: -1 with errno set on failure. A
// test puts its own FileSystem in place with FileSystemOverride to have the
// system refuse (EXDEV, ENOSPC, EACCES even as root) or to change a folder
// between a check and the call that relies on it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vantorelle::app {

class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  virtual int Open(const std::string& path, int flags, ::mode_t mode);
  virtual ::ssize_t Write(int fd, const void* data, std::size_t size);
  // stat(2), following a last link.
  virtual int Status(const std::string& path, struct ::stat& info);
  // lstat(2): the name itself.
  virtual int LinkStatus(const std::string& path, struct ::stat& info);
  virtual int MakeFolder(const std::string& path, ::mode_t mode);
  // rename(2) that fails with EEXIST rather than replace an existing target.
  virtual int RenameNoReplace(const std::string& from, const std::string& to);
  // remove(3): a file or an empty folder.
  virtual int Remove(const std::string& path);
};

// The file system in force: the system's own unless a test replaced it.
FileSystem& file_system();

// Puts `replacement` in force for its lifetime; the previous one comes back after.
class FileSystemOverride {
 public:
  explicit FileSystemOverride(FileSystem& replacement);
  ~FileSystemOverride();
  FileSystemOverride(const FileSystemOverride&) = delete;
  FileSystemOverride& operator=(const FileSystemOverride&) = delete;

 private:
  FileSystem* previous_;
};

}  // namespace vantorelle::app
