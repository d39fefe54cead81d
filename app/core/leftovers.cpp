// leftovers.cpp - finding the temporary files that a killed or failed run left in an output folder.
#include "leftovers.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

#include "run_state.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

// How long an empty temporary file may be a writer's that has not locked it yet.
constexpr std::time_t kLockingGraceSeconds = 10;

struct FolderCloser {
  void operator()(DIR* folder) const { ::closedir(folder); }
};

// Whether the regular file at `path` is unlocked, so that no run is writing it.
bool NobodyWrites(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  bool unlocked = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_SH | LOCK_NB) == 0;
  if (unlocked && info.st_size == 0) unlocked = std::time(nullptr) - info.st_mtime > kLockingGraceSeconds;
  ::close(fd);
  return unlocked;
}

}  // namespace

std::vector<std::string> FindLeftovers(const std::string& folder) {
  std::vector<std::string> found;
  const std::unique_ptr<DIR, FolderCloser> listing(::opendir(folder.empty() ? "." : folder.c_str()));
  if (!listing) return found;
  while (const dirent* entry = ::readdir(listing.get())) {
    const std::string path = folder + entry->d_name;
    if (uuIsTemporaryOutputName(entry->d_name) && NobodyWrites(path)) found.push_back(path);
  }
  std::sort(found.begin(), found.end());
  return found;
}

void ReportLeftovers(const std::string& folder) {
  for (const std::string& path : FindLeftovers(folder)) {
    char text[kMaxMessageLength + 1];
    std::snprintf(text, sizeof text, kLeftoverFormat, path.c_str());
    Say(kLevelWarning, text);
  }
}

}  // namespace vantorelle::app
