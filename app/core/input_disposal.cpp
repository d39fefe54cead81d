// input_disposal.cpp - deleting inputs and moving them into the freedesktop.org Trash.
#include "input_disposal.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

#include "file_system.hpp"
#include "run_state.hpp"
#include "vantorelle/common/base_folders.hpp"
#include "vantorelle/common/write_all.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {

std::string trashpath = "./";

namespace {

// Gives up numbering names after this many taken ones.
constexpr int kMaxTrashAttempts = 10000;

struct MoveOutcome {
  int result;          // 0 or -1
  std::string target;  // the path the file went to, or was meant to go to
  int error = 0;       // errno of a failed move
};

// A failed move, with the system's reason as it stands now.
MoveOutcome Failed(std::string target) { return {-1, std::move(target), errno != 0 ? errno : EIO}; }

bool Exists(const std::string& path) {
  struct stat info {};
  return file_system().LinkStatus(path, info) == 0;
}

// The core's status and folder calls, as the shared folder helpers take them.
int StatusCall(const char* path, struct stat* info) { return file_system().Status(path, *info); }
int MakeFolderCall(const char* path, ::mode_t mode) { return file_system().MakeFolder(path, mode); }

bool MakeFolders(const std::string& path) { return common::MakeFolders(path, StatusCall, MakeFolderCall); }

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return path;
  std::string absolute = Join(cwd, path);
  std::free(cwd);
  return absolute;
}

// The files folder of a Trash ("Trash", or ".Trash-UID" on another volume).
// Its info folder is made again should it have gone, so that no file enters
// the Trash without the record the desktop needs to list and restore it.
bool IsTrashFilesFolder(const std::string& folder) {
  if (BaseName(folder) != "files") return false;
  const std::string trash = BaseName(Parent(folder));
  if (trash != "Trash" && !trash.starts_with(".Trash-")) return false;
  return MakeFolders(Join(Parent(folder), "info"));
}

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return std::string(text, length);
}

bool WriteAll(int fd, const std::string& bytes) {
  return common::WriteAll(fd, bytes.data(), bytes.size(), [](int to, const void* data, std::size_t size) {
    return file_system().Write(to, data, size);
  });
}

// Claims info/NAME.trashinfo (created exclusively, so two movers never share
// a name), then moves the file to files/NAME without replacing anything.
MoveOutcome MoveToTrash(const std::string& path, const std::string& name, const std::string& files) {
  const std::string info_folder = Join(Parent(files), "info");
  const std::string info_text =
      "[Trash Info]\nPath=" + PercentEncodePath(Absolute(path)) + "\nDeletionDate=" + LocalTimeStamp() + "\n";
  std::string target = Join(files, name);
  for (int attempt = 0; attempt < kMaxTrashAttempts; ++attempt) {
    const std::string candidate = TrashCandidateName(name, attempt);
    const std::string info = Join(info_folder, candidate + ".trashinfo");
    target = Join(files, candidate);
    const int fd = file_system().Open(info, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Failed(target);
    }
    if (Exists(target)) {  // a file without its info: leave it alone
      ::close(fd);
      file_system().Remove(info);
      continue;
    }
    const bool written = WriteAll(fd, info_text);
    if (::close(fd) != 0 || !written) {
      file_system().Remove(info);
      return Failed(target);
    }
    if (file_system().RenameNoReplace(path, target) == 0) return {0, target};
    const int error = errno;
    file_system().Remove(info);
    errno = error;
    if (error != EEXIST) return Failed(target);  // EXDEV too: never copy and delete
  }
  errno = EEXIST;  // every candidate name taken
  return Failed(target);
}

// The "./" fallback: a plain folder, no info records.
MoveOutcome MoveIntoFolder(const std::string& path, const std::string& name, const std::string& folder) {
  std::string target = Join(folder, name);
  for (int attempt = 0; attempt < kMaxTrashAttempts; ++attempt) {
    target = Join(folder, TrashCandidateName(name, attempt));
    if (file_system().RenameNoReplace(path, target) == 0) return {0, target};
    if (errno != EEXIST) return Failed(target);
  }
  errno = EEXIST;  // every candidate name taken
  return Failed(target);
}

MoveOutcome MoveAway(const std::string& path, const std::string& folder) {
  const std::string name = BaseName(path);
  if (name.empty() || !Exists(path)) {
    if (name.empty()) errno = EISDIR;
    return Failed(Join(folder, name));
  }
  return IsTrashFilesFolder(folder) ? MoveToTrash(path, name, folder) : MoveIntoFolder(path, name, folder);
}

// A disposal that failed, at level 0: the user asked for it and must learn
// that the input is still where it was.
void SayFailure(const char* format, const std::string& path, int error) {
  char text[kMaxMessageLength + 1];
  std::snprintf(text, sizeof text, format, path.c_str(), std::strerror(error));
  Say(kLevelError, text);
}

}  // namespace

std::string FindTrashPath() {
  const std::string base = common::XdgBaseFolder("XDG_DATA_HOME", "/.local/share");
  if (base.empty()) return "./";
  const std::string trash = base + "/Trash";
  if (!MakeFolders(trash + "/files") || !MakeFolders(trash + "/info")) return "./";
  return trash + "/files";
}

int DisposeInput(const std::string& path, bool delete_inputs, bool trash_inputs, const std::string& trash_files_path) {
  int result = 0;
  if (delete_inputs && file_system().Remove(path) != 0) {
    result = -1;
    SayFailure(kDeleteFailedFormat, path, errno);
  }
  if (!trash_inputs) return result;
  const MoveOutcome move = MoveAway(path, trash_files_path);
  if (move.result != 0) {
    std::fprintf(stderr, "%d -> %s %s\n", move.result, path.c_str(), move.target.c_str());
    std::fflush(stderr);
    SayFailure(kTrashFailedFormat, path, move.error);
  }
  return move.result;
}

std::string PercentEncodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                       byte == '-' || byte == '.' || byte == '_' || byte == '~' || byte == '/';
    if (plain) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string TrashCandidateName(std::string_view name, int attempt) {
  if (attempt == 0) return std::string(name);
  const std::string number = "." + std::to_string(attempt + 1);
  const auto dot = name.find_last_of('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name) + number;
  return std::string(name.substr(0, dot)) + number + std::string(name.substr(dot));
}

}  // namespace vantorelle::app
