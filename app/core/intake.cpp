// intake.cpp - the paths a front end was given, made into the inputs of one decode run.
#include "intake.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include "file_system.hpp"
#include "input_files.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

constexpr char kNoFilesInFolder[] = "no files in the folder";

// The regular files directly in a folder, by name; its subfolders, devices
// and the like are passed over. The reason in `problem` when it cannot be read.
std::vector<std::string> FilesInFolder(const std::string& folder, std::string& problem) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code ec;
  fs::directory_iterator entries(folder, ec);
  for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
    std::error_code type_ec;
    if (entries->is_regular_file(type_ec)) files.push_back(entries->path().string());
  }
  if (ec) problem = ec.message();
  std::sort(files.begin(), files.end());
  return files;
}

class Intake {
 public:
  void Take(const std::string& given) {
    const std::string resolved = resolver_.Resolve(given);
    struct ::stat status {};
    const bool found = file_system().Status(resolved, status) == 0;
    const int error = errno;
    if (found && S_ISDIR(status.st_mode)) {
      TakeFolder(given, resolved);
    } else {
      TakeFile(given, CheckInputFile(resolved, found ? &status : nullptr, error), resolved);
    }
  }
  RunInputs Result() && { return std::move(inputs_); }

 private:
  void TakeFolder(const std::string& given, const std::string& resolved) {
    std::string problem;
    const std::vector<std::string> files = FilesInFolder(resolved, problem);
    if (problem.empty() && files.empty()) problem = kNoFilesInFolder;
    if (!problem.empty()) inputs_.refused.push_back({given, std::move(problem)});
    // A file of the folder is named as the folder was given, so a note on it reads as the user put it.
    const std::string prefix = given.ends_with('/') ? given : given + "/";
    for (const std::string& file : files) {
      TakeFile(prefix + std::filesystem::path(file).filename().string(), CheckInputFile(file), file);
    }
  }

  void TakeFile(const std::string& given, InputCheck check, const std::string& resolved) {
    if (!check.problem.empty()) {
      inputs_.refused.push_back({given, std::move(check.problem)});
      return;
    }
    const auto [first, fresh] = taken_.try_emplace({check.device, check.inode}, resolved);
    if (!fresh) {
      inputs_.skipped.push_back({given, first->second});
      return;
    }
    if (inputs_.paths.empty()) inputs_.output_folder = InputFolder(resolved);
    inputs_.paths.push_back(resolved);
  }

  InputPathResolver resolver_;
  RunInputs inputs_;
  std::map<std::pair<::dev_t, ::ino_t>, std::string> taken_;  // the path each file was taken under
};

}  // namespace

RunInputs TakeInputs(const std::vector<std::string>& given) {
  Intake intake;
  for (const std::string& path : given) intake.Take(path);
  RunInputs inputs = std::move(intake).Result();
  std::sort(inputs.paths.begin(), inputs.paths.end(),
            [](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
  return inputs;
}

std::string SameFileNote(const SkippedInput& skipped) {
  char text[kMaxMessageLength + 1];
  std::snprintf(text, sizeof text, kSameFileFormat, skipped.given.c_str(), skipped.taken.c_str());
  return text;
}

int compare(const std::string& a, const std::string& b) { return a.compare(b); }

}  // namespace vantorelle::app
