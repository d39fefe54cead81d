// vantorelle_decode.cpp - the command-line front end: one decode run over the files given.
//
// The run is the one a drop of the same files starts in the application, with
// no modifier key held: outputs go below the folder of the first FILE, inputs
// are scanned in byte-wise order of their absolute paths.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "decode_run.hpp"
#include "input_files.hpp"
#include "output_placement.hpp"
#include "run_state.hpp"
#include "standard_streams.hpp"

namespace {

constexpr const char* kProgram = "vantorelle-decode";
constexpr const char* kVersion = "0.1.0";

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;

void print_usage(std::FILE* to) {
  std::fprintf(to,
               "Usage: %s [OPTIONS] FILE...\n"
               "Decode the uuencoded and yEnc binaries in saved news articles.\n"
               "\n"
               "Parts are gathered from all FILEs by subject and part counter and decoded\n"
               "in order. Output files are created in the folder of the first FILE, under\n"
               "the name found in the encoded data; an existing non-empty file is never\n"
               "overwritten (name-(0).ext, name-(1).ext, ... are used instead).\n"
               "\n"
               "Standard output lists every output file written; standard error carries\n"
               "the decoder's messages as 'error:', 'warning:' and 'note:' lines.\n"
               "\n"
               "Options:\n"
               "  -h, --help     show this help and exit\n"
               "  -V, --version  show the version and exit\n"
               "\n"
               "Exit status: 0 when all went well; 1 when an error or warning was reported\n"
               "or no FILE held encoded data; 2 on a usage error or an unreadable FILE.\n",
               kProgram);
}

// Messages and progress on standard error; a progress line only on a terminal.
class Reporter {
 public:
  Reporter() : progress_(::isatty(STDERR_FILENO) == 1) {}

  int message(int level, std::string_view text) {
    clear_progress();
    const char* prefix = level == 0 ? "error" : level == 1 ? "warning" : "note";
    std::fprintf(stderr, "%s: %.*s\n", prefix, static_cast<int>(text.size()), text.data());
    if (level == 0 || level == 1) ++problems_;
    return 1;
  }

  int busy(int type, int state, std::string_view text, int percent) {
    if (!progress_ || type == 0) return 0;
    const std::string_view name = text.substr(text.rfind('/') + 1);
    clear_progress();
    if (type == 1) {
      std::fprintf(stderr, "Scanning: %.*s", static_cast<int>(name.size()), name.data());
    } else {
      std::fprintf(stderr, "Decoding: %.*s", static_cast<int>(name.size()), name.data());
      if (state == 0) std::fprintf(stderr, " %3d%%", percent);
    }
    std::fflush(stderr);
    shown_ = true;
    return 0;
  }

  void clear_progress() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
  }

  int problems() const { return problems_; }

 private:
  bool progress_;
  bool shown_ = false;
  int problems_ = 0;
};

// The list of output files on standard output. A list that could not be
// written (a full disk, a closed pipe) is an error, not a success.
class OutputListing {
 public:
  void add(const std::string& path) {
    if (std::printf("%s\n", path.c_str()) < 0 || std::fflush(stdout) != 0) note_failure();
  }

  // Closes standard output, where a last write error shows; false when any
  // part of the list was lost (said once on standard error).
  bool finish() {
    if (std::fclose(stdout) != 0) note_failure();
    if (error_ != 0) {
      std::fprintf(stderr, "%s: cannot write the list of output files: %s\n", kProgram,
                   std::strerror(error_));
    }
    return error_ == 0;
  }

 private:
  void note_failure() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  int error_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (!vantorelle::app::OpenClosedStandardDescriptors()) return kExitUsage;
  std::vector<std::string> files;
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (!options_done && arg == "--") {
      options_done = true;
    } else if (!options_done && (arg == "-h" || arg == "--help")) {
      print_usage(stdout);
      return kExitClean;
    } else if (!options_done && (arg == "-V" || arg == "--version")) {
      std::printf("%s %s\n", kProgram, kVersion);
      return kExitClean;
    } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "%s: unknown option '%s'\n", kProgram, argv[i]);
      std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
      return kExitUsage;
    } else {
      files.emplace_back(arg);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr, "%s: no FILE given\n", kProgram);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
    return kExitUsage;
  }

  using vantorelle::app::run_state;
  run_state().path_ = vantorelle::app::InputFolder(vantorelle::app::ResolveInputPath(files.front()));
  std::vector<std::string> inputs;
  bool unreadable = false;
  for (const std::string& file : files) {
    const std::string path = vantorelle::app::ResolveInputPath(file);
    if (const std::string why = vantorelle::app::InputFileProblem(path); !why.empty()) {
      std::fprintf(stderr, "%s: cannot read '%s': %s\n", kProgram, file.c_str(), why.c_str());
      unreadable = true;
      continue;
    }
    inputs.push_back(path);
  }
  std::sort(inputs.begin(), inputs.end());

  Reporter reporter;
  OutputListing listing;
  vantorelle::app::RunHooks hooks;
  hooks.message = [&](int level, std::string_view text) { return reporter.message(level, text); };
  hooks.busy = [&](int type, int state, std::string_view text, int percent) {
    return reporter.busy(type, state, text, percent);
  };
  hooks.file_name_filter = [](std::string& name) { return vantorelle::app::FNameFilter(name); };
  hooks.post_process = [&](const std::string& path) {
    reporter.clear_progress();
    listing.add(path);
    return 0;
  };

  std::vector<std::string> run_argv{"Vantorelle"};
  run_argv.insert(run_argv.end(), inputs.begin(), inputs.end());
  std::size_t found = 0;
  vantorelle::app::xmain(run_argv, hooks, &found);
  reporter.clear_progress();

  if (found == 0 && !inputs.empty()) {
    std::fprintf(stderr, "%s: no encoded data found\n", kProgram);
  }
  const bool listed = listing.finish();
  if (unreadable) return kExitUsage;
  if (found == 0 || reporter.problems() > 0 || !listed) return kExitProblems;
  return kExitClean;
}
