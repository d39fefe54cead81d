// fuzz_support.hpp - shared pieces of the fuzz targets: in-memory input files, splitting, checks.
//
// Every target reads its input as article text; the byte 0x1E (record
// separator) splits it into several input files where a target takes more
// than one. Parameters (offsets, buffer sizes, flags) come from the end of the
// input through FuzzedDataProvider, so the text at the front stays readable.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue_text.hpp"
#include "hooks.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::fuzz {

// Stops the run with a message; libFuzzer keeps the input that got here.
[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::abort();
}

inline void check(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

// A file that lives in memory only; its path reopens it like any file.
class MemFile {
 public:
  explicit MemFile(std::string_view bytes = {}) : fd_(::memfd_create("fuzz", MFD_CLOEXEC)) {
    check(fd_ >= 0, "memfd_create");
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      check(n > 0, "write to memfd");
      done += static_cast<std::size_t>(n);
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  ~MemFile() { ::close(fd_); }
  MemFile(const MemFile&) = delete;
  MemFile& operator=(const MemFile&) = delete;

  const std::string& path() const { return path_; }

  std::string contents() const {
    std::string out;
    char buffer[65536];
    for (off_t at = 0;;) {
      const ssize_t n = ::pread(fd_, buffer, sizeof buffer, at);
      if (n <= 0) return out;
      out.append(buffer, static_cast<std::size_t>(n));
      at += n;
    }
  }

 private:
  int fd_;
  std::string path_;
};

inline constexpr char kFileSeparator = '\x1e';

// The text cut at each separator, into at most max_files pieces (later
// separators stay in the last piece).
inline std::vector<std::string_view> split_files(std::string_view text, std::size_t max_files) {
  std::vector<std::string_view> files;
  while (files.size() + 1 < max_files) {
    const std::size_t cut = text.find(kFileSeparator);
    if (cut == std::string_view::npos) break;
    files.push_back(text.substr(0, cut));
    text.remove_prefix(cut + 1);
  }
  files.push_back(text);
  return files;
}

// Collects messages and checks the limit the engine promises for them.
struct MessageLog {
  std::vector<std::pair<int, std::string>> messages;

  MessageLog() {
    dispatch::ResetStateForTesting();
    uuSetMsgCallback([this](int level, std::string_view text) {
      check(text.size() <= kMaxMessageLength, "message longer than 511 bytes");
      check(level == kLevelError || level == kLevelWarning || level == kLevelNote,
            "message level");
      messages.emplace_back(level, std::string(text));
      return 1;
    });
    uuSetBusyCallback({}, 10);
  }
  ~MessageLog() {
    uuSetMsgCallback({});
    dispatch::ResetStateForTesting();
  }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
};

using test::describe;  // every field of a catalogue, for comparing two

}  // namespace vantorelle::fuzz
