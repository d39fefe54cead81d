// intake.hpp - the paths a front end was given, made into the inputs of one decode run.
//
// The command line, the application's launch, a drop and the open-file
// command all take their files through TakeInputs, so that the same paths
// make the same run whichever way they came.
#pragma once

#include <string>
#include <vector>

namespace vantorelle::app {

// A path given that is no input, and why ("No such file or directory", "not a
// regular file", "no files in the folder", "Permission denied", ...).
struct RefusedInput {
  std::string given;
  std::string reason;
};

// A path given that names a file taken already under another path.
struct SkippedInput {
  std::string given;
  std::string taken;  // the path under which the file is scanned
};

// The level-2 note for a SkippedInput: given, then taken.
inline constexpr const char* kSameFileFormat = "Skipping '%s': the same file as '%s'";

struct RunInputs {
  // The files to scan: absolute, each file once, byte-wise by path.
  std::vector<std::string> paths;
  // The folder of the first file given that can be read, ending in '/';
  // empty when none can. A refused /dev/zero must not send outputs into /dev.
  std::string output_folder;
  // In the order given.
  std::vector<RefusedInput> refused;
  // In the order given.
  std::vector<SkippedInput> skipped;
};

// The note for one skipped input.
std::string SameFileNote(const SkippedInput& skipped);

// Each given path is resolved as the system resolves it (ResolveInputPath:
// "link/../a.txt" is the a.txt beside the folder the link points to; a
// relative path starts in the current folder) and taken when it is a regular
// file that can be read. A folder contributes the regular files directly in
// it, by name (not those of its subfolders), each as if given by its full
// path; a folder without any is refused. A file given again, under the same path, another
// spelling of it, a link or a second hard link (the same device and inode),
// is taken once, under the path by which it came first. Never blocks.
RunInputs TakeInputs(const std::vector<std::string>& given);

// The order of a run's inputs: byte-wise by the full path, as strcmp orders
// (negative, zero or positive).
int compare(const std::string& a, const std::string& b);

}  // namespace vantorelle::app
