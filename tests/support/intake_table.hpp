// intake_table.hpp - paths as a front end may be given them, and what a run must make of them.
//
// The command line and the application run the same table: given the same
// paths, both decode the same files into the same folders and refuse the
// same paths for the same reasons.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "article_writer.hpp"
#include "test_support.hpp"

namespace vantorelle::test {

// The folder each case runs in; every relative path starts there.
//   a.txt       an article of here.bin    real/a.txt   an article of there.bin
//   b.txt       an article of b.bin       sym.txt -> b.txt, hard.txt: b.txt's second hard link
//   link -> real/sub    fifo    dir/      (missing.txt is not there)
inline void make_intake_tree(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  fs::create_directories(root / "real" / "sub");
  fs::create_directory(root / "dir");
  fs::create_directory_symlink(root / "real" / "sub", root / "link");
  write_file((root / "a.txt").string(), yenc_articles("here", "here.bin", "here", 100)[0]);
  write_file((root / "real" / "a.txt").string(), yenc_articles("there", "there.bin", "there", 100)[0]);
  write_file((root / "b.txt").string(), yenc_articles("bee", "b.bin", "bee", 100)[0]);
  fs::create_symlink(root / "b.txt", root / "sym.txt");
  fs::create_hard_link(root / "b.txt", root / "hard.txt");
  ::mkfifo((root / "fifo").c_str(), 0600);
}

struct IntakeCase {
  const char* what;
  std::vector<std::string> given;
  std::vector<std::string> outputs;                          // below the folder, in byte order
  std::vector<std::pair<std::string, std::string>> refused;  // given, why; in the order given
  std::vector<std::string> skipped = {};  // given, naming a file taken already (as `first`); a note each
  std::string first = "b.txt";
};

inline std::vector<IntakeCase> intake_cases() {
  const std::string missing = "No such file or directory";
  const std::string irregular = "not a regular file";
  return {
      {"through a linked folder", {"link/../a.txt"}, {"real/there.bin"}, {}},
      {"relative, with ./ and ..", {"./a.txt", "real/../b.txt"}, {"b.bin", "here.bin"}, {}},
      {"missing", {"missing.txt", "a.txt"}, {"here.bin"}, {{"missing.txt", missing}}},
      {"refused before and after a file read",
       {"/dev/zero", "fifo", "dir", "real/a.txt", "/dev/urandom"},
       {"real/there.bin"},
       {{"/dev/zero", irregular}, {"fifo", irregular}, {"dir", "no files in the folder"}, {"/dev/urandom", irregular}}},
      // Read twice, the part would come twice and be reported.
      {"given again, spelled otherwise, through a link and a second hard link",
       {"b.txt", "./b.txt", "b.txt", "sym.txt", "hard.txt", "link/../../b.txt"},
       {"b.bin"},
       {},
       {"./b.txt", "b.txt", "sym.txt", "hard.txt", "link/../../b.txt"}},
      // real/sub is link's target: its files stay out.
      {"a folder gives its own files, not its subfolders'",
       {"real", "real/a.txt", "link/.."},
       {"real/there.bin"},
       {},
       {"real/a.txt", "link/../a.txt"},
       "real/a.txt"},
      // real/a.txt sorts after a.txt, yet it decides the folder.
      {"the first file read decides the folder",
       {"missing.txt", "real/a.txt", "a.txt"},
       {"real/here.bin", "real/there.bin"},
       {{"missing.txt", missing}}},
  };
}

// Every .bin file below root, relative to it, in byte order.
inline std::vector<std::string> outputs_below(const std::filesystem::path& root) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().extension() == ".bin") found.push_back(entry.path().lexically_relative(root).string());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace vantorelle::test
