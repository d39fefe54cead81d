// failing_file_system.hpp - the system's file system with chosen calls failing, and names that appear after a check.
//
// In force for its lifetime, for the shell's calls and for the engine's
// opening of output files. Refusals come as the system gives them (-1 and
// errno), so EXDEV, ENOSPC or EACCES can be had without a second file system,
// a full disk or a user other than root.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <string>
#include <utility>

#include "file_system.hpp"
#include "output_file.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::test {

class FailingFileSystem : public app::FileSystem {
 public:
  enum class Call { kOpen, kWrite, kStatus, kRename };

  FailingFileSystem()
      : in_force_(*this),
        engine_open_(OutputFile::replace_open([this](const std::string& path, int flags, int mode) {
          return Open(path, flags, static_cast<::mode_t>(mode));
        })) {}
  ~FailingFileSystem() override { OutputFile::replace_open(std::move(engine_open_)); }

  // `call` on `path` fails with `error`: for kWrite, every write to a file
  // opened under `path` (for an output the engine writes, the disk is full);
  // for kRename, a move to `path`. An output's opening and writing count for
  // its own path, though they go to its temporary name.
  void Fail(Call call, const std::string& path, int error) { failures_[{call, path}] = error; }

  // Once the next name check (stat or lstat) of `path` has answered, `action`
  // runs: the name changes between the check and the call that trusts it.
  void AfterCheck(const std::string& path, std::function<void()> action) { after_check_[path] = std::move(action); }

  int Open(const std::string& path, int flags, ::mode_t mode) override {
    if (Refused(Call::kOpen, OutputPathOf(path))) return -1;
    const int fd = FileSystem::Open(path, flags, mode);
    const auto it = failures_.find({Call::kWrite, OutputPathOf(path)});
    if (fd >= 0 && it != failures_.end() && OutputPathOf(path) != path) {
      // The engine writes an output itself: a full device in its place.
      const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
      ::dup2(full, fd);
      ::close(full);
    } else if (fd >= 0 && it != failures_.end()) {
      failing_writes_[fd] = it->second;
    }
    return fd;
  }
  ::ssize_t Write(int fd, const void* data, std::size_t size) override {
    if (const auto it = failing_writes_.find(fd); it != failing_writes_.end()) {
      errno = it->second;
      return -1;
    }
    return FileSystem::Write(fd, data, size);
  }
  int Status(const std::string& path, struct ::stat& info) override {
    return Checked(path, Refused(Call::kStatus, path) ? -1 : FileSystem::Status(path, info));
  }
  int LinkStatus(const std::string& path, struct ::stat& info) override {
    return Checked(path, FileSystem::LinkStatus(path, info));
  }
  int RenameNoReplace(const std::string& from, const std::string& to) override {
    return Refused(Call::kRename, to) ? -1 : FileSystem::RenameNoReplace(from, to);
  }

 private:
  // folder/.NAME.vantorelle-XXXXXX stands for folder/NAME.
  static std::string OutputPathOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/') + 1;
    const std::string name = path.substr(slash);
    if (!uuIsTemporaryOutputName(name)) return path;
    return path.substr(0, slash) + name.substr(1, name.rfind(".vantorelle-") - 1);
  }
  bool Refused(Call call, const std::string& path) {
    const auto it = failures_.find({call, path});
    if (it == failures_.end()) return false;
    errno = it->second;
    return true;
  }
  int Checked(const std::string& path, int result) {
    const int error = errno;
    if (const auto it = after_check_.find(path); it != after_check_.end()) {
      const std::function<void()> action = std::move(it->second);
      after_check_.erase(it);
      action();
    }
    errno = error;
    return result;
  }

  std::map<std::pair<Call, std::string>, int> failures_;
  std::map<int, int> failing_writes_;  // fd, errno
  std::map<std::string, std::function<void()>> after_check_;
  app::FileSystemOverride in_force_;
  OutputFile::OpenCall engine_open_;
};

}  // namespace vantorelle::test
