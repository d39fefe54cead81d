// input_files.hpp - which paths a decode run may take as inputs, and where they really are.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <map>
#include <string>

namespace vantorelle::app {

// The absolute path of a FILE as the user gave it, with its folder resolved
// the way the kernel resolves it (links and ".." followed in that order), so
// that "link/../a.txt" names the file the kernel opens. The last component is
// kept as given. When the folder cannot be resolved, the lexical absolute
// path, so that opening it reports why.
std::string ResolveInputPath(const std::string& given);

// Resolves paths as ResolveInputPath does, each folder once: the files of a
// run mostly share a folder, and resolving it was most of what taking one
// cost (a run of 700 files spent 7 ms before its first read).
class InputPathResolver {
 public:
  std::string Resolve(const std::string& given);

 private:
  std::map<std::string, std::string> real_folders_;  // as given; empty when it cannot be resolved
};

// The folder part of a resolved input path, ending in '/'.
std::string InputFolder(const std::string& resolved);

// Why the path cannot be read as an input, or empty when it can. Only regular
// files are inputs: a folder gives "is a directory", a FIFO, device or socket
// "not a regular file" (reading one could block or never end); otherwise the
// system's reason for failing to open it. Never blocks.
std::string InputFileProblem(const std::string& path);

// What the check of one path found: the problem as above, and for a file that
// is an input, which file it is (two names of one file give the same pair).
struct InputCheck {
  std::string problem;
  ::dev_t device = 0;
  ::ino_t inode = 0;
};
InputCheck CheckInputFile(const std::string& path);
// The same for a path whose stat(2) has been made: `status` when it
// succeeded, otherwise nullptr and its errno in `error`.
InputCheck CheckInputFile(const std::string& path, const struct ::stat* status, int error);

}  // namespace vantorelle::app
