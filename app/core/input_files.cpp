// input_files.cpp - which paths a decode run may take as inputs, and where they really are.
#include "input_files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "file_system.hpp"

namespace vantorelle::app {
namespace {

std::string LexicalAbsolute(const std::string& given) {
  namespace fs = std::filesystem;
  fs::path path(given);
  std::error_code ec;
  if (path.is_relative()) path = fs::current_path(ec) / path;
  return path.lexically_normal().string();
}

// realpath(3) into a string; empty when it fails.
std::string RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace

std::string ResolveInputPath(const std::string& given) { return InputPathResolver().Resolve(given); }

std::string InputPathResolver::Resolve(const std::string& given) {
  const std::size_t slash = given.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : given.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? given : given.substr(slash + 1);
  auto [known, fresh] = real_folders_.try_emplace(folder);
  if (fresh) known->second = RealPath(folder);
  const std::string& real_folder = known->second;
  if (real_folder.empty()) return LexicalAbsolute(given);
  if (name.empty() || name == "." || name == "..") {
    const std::string whole = RealPath(given);
    return whole.empty() ? LexicalAbsolute(given) : whole;
  }
  return real_folder == "/" ? "/" + name : real_folder + "/" + name;
}

std::string InputFolder(const std::string& resolved) {
  const std::size_t slash = resolved.rfind('/');
  return slash == std::string::npos ? "./" : resolved.substr(0, slash + 1);
}

std::string InputFileProblem(const std::string& path) { return CheckInputFile(path).problem; }

InputCheck CheckInputFile(const std::string& path) {
  struct stat st;
  if (file_system().Status(path, st) != 0) return CheckInputFile(path, nullptr, errno);
  return CheckInputFile(path, &st, 0);
}

InputCheck CheckInputFile(const std::string& path, const struct ::stat* status, int error) {
  if (status == nullptr) return {std::strerror(error)};
  if (S_ISDIR(status->st_mode)) return {"is a directory"};
  if (!S_ISREG(status->st_mode)) return {"not a regular file"};
  // O_NONBLOCK: should the name have become a FIFO meanwhile, opening it
  // must not wait for a writer; fstat then tells.
  const int fd = file_system().Open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return {std::strerror(errno)};
  struct stat st;
  const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  if (!regular) return {"not a regular file"};
  return {{}, st.st_dev, st.st_ino};
}

}  // namespace vantorelle::app
