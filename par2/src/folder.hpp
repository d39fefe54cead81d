// folder.hpp - the set's folder: files opened, created, renamed and removed by plain names only.
//
// Every effect goes through the folder's descriptor with *at() calls, so a
// name is never resolved as a path; O_NOFOLLOW and RENAME_NOREPLACE mean a
// link is never followed and nothing existing is written over.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantorelle::par2 {

// A file descriptor closed when the object goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_ = -1;
};

// True for a name that is one plain entry of a folder: not empty, no '/', no
// NUL, not "." or "..".
bool is_plain_name(std::string_view name);

// Reads up to out.size() bytes at `offset`; fewer only at the end of the file.
// Returns the count read, or nullopt on a read error.
std::optional<std::size_t> read_at(int fd, std::uint64_t offset, std::span<unsigned char> out);
// Writes all of `data` at `offset`; false on any error.
bool write_at(int fd, std::uint64_t offset, std::span<const unsigned char> data);

class Folder {
 public:
  // Opens the folder (following links in its own path, which the user gave).
  static std::optional<Folder> open(const std::string& path, std::string* error);

  const std::string& path() const { return path_; }

  // A regular file in the folder, opened for reading; nullopt with `error` set
  // when the name is not plain, is a link, is not a regular file or cannot be opened.
  // errno_out receives ENOENT for a name that does not exist.
  std::optional<UniqueFd> open_regular(std::string_view name, std::string* error,
                                       int* errno_out = nullptr) const;
  // The names of the regular files in the folder (links and folders left out).
  std::vector<std::string> regular_files() const;
  // A new file under a name of the form ".NAME.vantorelle-par2-N", created
  // exclusively for writing; `created` receives the name.
  std::optional<UniqueFd> create_temporary(std::string_view for_name, std::string* created,
                                           std::string* error) const;
  // Renames within the folder, never over an existing name.
  bool rename_noreplace(std::string_view from, std::string_view to, std::string* error) const;
  bool remove(std::string_view name) const;
  bool exists(std::string_view name) const;

 private:
  Folder(UniqueFd fd, std::string path) : fd_(std::move(fd)), path_(std::move(path)) {}
  UniqueFd fd_;
  std::string path_;
};

}  // namespace vantorelle::par2
