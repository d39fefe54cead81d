// vantorelle_decode.cpp - the command-line front end: one decode run over the files given.
//
// The run is the one a drop of the same files starts in the application:
// outputs go below the folder of the first FILE read, inputs are scanned in
// byte-wise order of their absolute paths, and the options stand for the
// modifier keys, the answers to the placement questions and the disposal
// preferences.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli_options.hpp"
#include "decode_run.hpp"
#include "input_disposal.hpp"
#include "intake.hpp"
#include "output_placement.hpp"
#include "par2_check.hpp"
#include "run_report.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "standard_streams.hpp"
#include "stop_signals.hpp"
#include "vantorelle/version.hpp"

namespace {

constexpr const char* kProgram = "vantorelle-decode";

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSignalled = 128;  // plus the signal's number, as a shell reports a killed program

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: %s [OPTIONS] FILE...\n"
               "Decode the uuencoded and yEnc binaries in saved news articles.\n"
               "\n"
               "Parts are gathered from all FILEs by subject and part counter and decoded\n"
               "in order. Output files are created in the folder of the first FILE that\n"
               "can be read, under the name found in the encoded data (a name of 128\n"
               "characters or more is used as it is); an existing non-empty file is never\n"
               "overwritten (name-(0).ext, name-(1).ext, ... are used instead).\n"
               "\n"
               "Standard output lists every output file written; standard error carries\n"
               "the decoder's messages as 'error:', 'warning:' and 'note:' lines.\n"
               "\n"
               "Placement (folders are made below that folder):\n"
               "  --subject-dirs         put each output file into a folder named after its\n"
               "                         subject (':' and '/' become '_'); the folder changes\n"
               "                         when the first 8 characters of the subject do\n"
               "  --subject-length N     with --subject-dirs, compare the first N characters\n"
               "                         instead (N from 4 to 32767); alone it changes nothing\n"
               "  --prefix-dirs          put each output file into a folder named after the\n"
               "                         first character of its name and the letters that\n"
               "                         follow it (Rome2004.jpg goes into Rome); this wins\n"
               "                         over --subject-dirs\n"
               "  --dir NAME             put the output files into the folder NAME (fewer\n"
               "                         than 128 characters, used as typed; empty for none)\n"
               "                         when the first binary found has a subject; with\n"
               "                         --subject-dirs, only until a subject differs from\n"
               "                         NAME in its first 8 (or N) characters\n"
               "\n"
               "Disposal, once every output file has been decoded:\n"
               "  --delete-inputs        delete each FILE\n"
               "  --trash-inputs         move each FILE into the Trash ($XDG_DATA_HOME/Trash,\n"
               "                         else ~/.local/share/Trash); nothing there is\n"
               "                         replaced, and without a Trash nothing is decoded\n"
               "  A FILE that holds a part of an output file with an error or warning, or one\n"
               "  that could not be written, is kept, and a warning says so. Given both\n"
               "  options, a FILE is deleted and its move reported as failed.\n"
               "\n"
               "PAR2 recovery sets among the output files (or among the FILEs), once every\n"
               "output file has been decoded and before any FILE is removed:\n"
               "  --verify               verify each set and say what it finds (the default)\n"
               "  --repair               and repair the output files from it; an output file\n"
               "                         repaired to the exact original counts as good, so\n"
               "                         the FILEs that hold it may be removed. Only output\n"
               "                         files of this run are replaced\n"
               "\n"
               "Report:\n"
               "  --report FILE          write what became of every output, part and input,\n"
               "                         and every message, to FILE as JSON (- for standard\n"
               "                         output, which then carries no list of output files)\n"
               "\n"
               "Options:\n"
               "  -h, --help             show this help and exit\n"
               "  -V, --version          show the version and exit\n"
               "\n"
               "Exit status: 0 when all went well, or when PAR2 sets made every output file\n"
               "exact; 1 when an error or warning was reported or no FILE held encoded\n"
               "data; 2 on a usage error or an unreadable FILE;\n"
               "128 + N when signal N (Ctrl-C, SIGTERM, SIGHUP) stopped the run: the output\n"
               "being written is removed then, outputs finished stay, no FILE is removed.\n",
               kProgram);
}

// Messages and progress on standard error; a progress line only on a terminal.
class Reporter {
 public:
  Reporter() : progress_(::isatty(STDERR_FILENO) == 1) {}

  int Message(int level, std::string_view text) {
    ClearProgress();
    const char* prefix = "note";
    if (level == vantorelle::kLevelError) prefix = "error";
    if (level == vantorelle::kLevelWarning) prefix = "warning";
    std::fprintf(stderr, "%s: %.*s\n", prefix, static_cast<int>(text.size()), text.data());
    if (level == vantorelle::kLevelError || level == vantorelle::kLevelWarning) ++problems_;
    if (level == vantorelle::kLevelError) ++errors_;
    return 1;
  }

  int Busy(int type, int state, std::string_view text, int percent) {
    if (!progress_ || type == vantorelle::kBusyPoll) return 0;
    const std::string_view name = text.substr(text.rfind('/') + 1);
    ClearProgress();
    if (type == vantorelle::kBusyScanning) {
      std::fprintf(stderr, "Scanning: %.*s", static_cast<int>(name.size()), name.data());
    } else {
      std::fprintf(stderr, "Decoding: %.*s", static_cast<int>(name.size()), name.data());
      if (state == 0) std::fprintf(stderr, " %3d%%", percent);
    }
    std::fflush(stderr);
    shown_ = true;
    return 0;
  }

  void ClearProgress() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
  }

  int Problems() const { return problems_; }
  int Errors() const { return errors_; }

 private:
  bool progress_;
  bool shown_ = false;
  int problems_ = 0;
  int errors_ = 0;
};

// The list of output files on standard output. A list that could not be
// written (a full disk, a closed pipe) is an error, not a success.
class OutputListing {
 public:
  // Quiet when standard output carries the report instead.
  explicit OutputListing(bool quiet) : quiet_(quiet) {}

  void Add(const std::string& path) {
    if (quiet_) return;
    if (std::printf("%s\n", path.c_str()) < 0 || std::fflush(stdout) != 0) NoteFailure();
  }

  // The report on standard output, after the run.
  void AddReport(const std::string& report) {
    if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0) {
      NoteFailure();
    }
  }

  // Closes standard output, where a last write error shows; false when any
  // part of the list was lost (said once on standard error).
  bool Finish() {
    if (std::fclose(stdout) != 0) NoteFailure();
    if (error_ != 0) {
      std::fprintf(stderr, "%s: cannot write the list of output files: %s\n", kProgram, std::strerror(error_));
    }
    return error_ == 0;
  }

 private:
  void NoteFailure() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  bool quiet_;
  int error_ = 0;
};

// Writes the run's report to `path` ("-": standard output); false, said on
// standard error, when it could not be written whole.
bool WriteReport(const std::string& path, const vantorelle::app::CliOptions& options, OutputListing& listing) {
  namespace app = vantorelle::app;
  const app::Disposal disposal = options.delete_inputs  ? app::Disposal::kDelete
                                 : options.trash_inputs ? app::Disposal::kTrash
                                                        : app::Disposal::kNone;
  const std::string report = app::RunReportJson(app::LastRun(), disposal);
  if (path == "-") {
    listing.AddReport(report);
    return true;  // a failure shows when the listing finishes
  }
  std::FILE* file = std::fopen(path.c_str(), "w");
  bool written = file != nullptr && std::fwrite(report.data(), 1, report.size(), file) == report.size();
  const int error = errno;
  if (file != nullptr && std::fclose(file) != 0) written = false;
  if (!written)
    std::fprintf(stderr, "%s: cannot write the report '%s': %s\n", kProgram, path.c_str(), std::strerror(error));
  return written;
}

// The run's hooks: messages and progress on standard error, output paths on
// standard output, placement by the run flags and the options' answers.
// `written` counts the output files made; `trash` is the Trash's files
// folder for --trash-inputs.
vantorelle::app::RunHooks MakeHooks(Reporter& reporter, const vantorelle::app::CliOptions& options,
                                    OutputListing& listing, std::size_t& written, const std::string& trash) {
  namespace app = vantorelle::app;
  app::RunHooks hooks;
  hooks.message = [&reporter](int level, std::string_view text) { return reporter.Message(level, text); };
  hooks.busy = [&reporter](int type, int state, std::string_view text, int percent) {
    return reporter.Busy(type, state, text, percent);
  };
  hooks.directory = [](const std::string& dest_name, std::string& subject) {
    return app::DirectoryCallback(dest_name, subject);
  };
  // No question on the command line: a long name is used as it is.
  hooks.file_name_filter = [](std::string& name) { return app::FNameFilter(name); };
  hooks.post_process = [&reporter, &listing, &written](const std::string& path) {
    ++written;
    reporter.ClearProgress();
    listing.Add(path);
    return 0;
  };
  if (options.subject_length) {
    hooks.ask_directory_length = [length = *options.subject_length] { app::run_state().dir_cmp_len_ = length; };
  }
  if (options.directory) {
    // A full path that cannot be made ends the run: the outputs must not land beside the inputs instead.
    hooks.ask_directory = [&reporter, name = *options.directory](const std::string&) {
      const std::string problem = app::UseOutputDirectory(name);
      if (!problem.empty()) reporter.Message(vantorelle::kLevelError, "Cannot make the output folder " + problem);
      return problem.empty();
    };
  }
  if (options.delete_inputs || options.trash_inputs) {
    hooks.input_remove = [&options, trash](const std::string& path) {
      return app::DisposeInput(path, options.delete_inputs, options.trash_inputs, trash);
    };
    hooks.disposal_requested = true;
  }
  hooks.count_part_lines = options.report.has_value();
  hooks.par2 = options.repair ? app::Par2Mode::kRepair : app::Par2Mode::kVerify;
  return hooks;
}

void SetRunFlags(const vantorelle::app::CliOptions& options) {
  vantorelle::app::RunState& state = vantorelle::app::run_state();
  state.shiftKey_ = options.subject_dirs;
  state.cmdKey_ = options.prefix_dirs;
  state.optionKey_ = options.directory.has_value();
  state.controlKey_ = options.subject_length.has_value();
}

int UsageError(const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", kProgram, why.c_str());
  std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (!vantorelle::app::OpenClosedStandardDescriptors()) return kExitUsage;
  // A reader that goes away (| head -1) must not end the run in the middle of
  // an output: the closed pipe shows as a failed write of the list instead.
  std::signal(SIGPIPE, SIG_IGN);
  vantorelle::app::CliOptions options;
  const std::string why = vantorelle::app::ParseCommandLine({argv + std::min(argc, 1), argv + argc}, options);
  if (!why.empty()) return UsageError(why);
  if (options.help) {
    PrintUsage(stdout);
    return kExitClean;
  }
  if (options.version) {
    std::printf("%s %s\n", kProgram, vantorelle::kVersion);
    return kExitClean;
  }
  if (options.files.empty()) return UsageError("no FILE given");
  std::string trash;
  if (options.trash_inputs) {
    // The application's fallback, the current folder, is no Trash: inputs
    // would land among the user's files. Better to decode nothing.
    trash = vantorelle::app::FindTrashPath();
    if (trash == "./") {
      std::fprintf(stderr, "%s: cannot find or make the Trash folder; nothing done\n", kProgram);
      return kExitUsage;
    }
  }

  SetRunFlags(options);
  const vantorelle::app::RunInputs inputs = vantorelle::app::TakeInputs(options.files);
  for (const vantorelle::app::RefusedInput& refused : inputs.refused) {
    std::fprintf(stderr, "%s: cannot read '%s': %s\n", kProgram, refused.given.c_str(), refused.reason.c_str());
  }
  if (!inputs.output_folder.empty()) vantorelle::app::run_state().path_ = inputs.output_folder;

  Reporter reporter;
  for (const vantorelle::app::SkippedInput& skipped : inputs.skipped) {
    reporter.Message(vantorelle::kLevelNote, vantorelle::app::SameFileNote(skipped));
  }
  OutputListing listing(options.report == "-");
  std::size_t written = 0;
  const vantorelle::app::RunHooks hooks = MakeHooks(reporter, options, listing, written, trash);
  std::vector<std::string> run_argv{"Vantorelle"};
  run_argv.insert(run_argv.end(), inputs.paths.begin(), inputs.paths.end());
  vantorelle::app::StopRunOnSignals();
  vantorelle::app::xmain(run_argv, hooks, nullptr);
  reporter.ClearProgress();
  if (const int signal = vantorelle::app::StopSignal()) {
    std::fprintf(stderr, "%s: stopped by %s; the output being written was removed, no input was removed\n", kProgram,
                 strsignal(signal));
  }

  // Text alone makes no output file; an output that could not be created has
  // been reported already.
  if (written == 0 && !inputs.paths.empty() && reporter.Errors() == 0 && vantorelle::app::StopSignal() == 0) {
    std::fprintf(stderr, "%s: no encoded data found\n", kProgram);
  }
  const bool reported = !options.report || WriteReport(*options.report, options, listing);
  const bool listed = listing.Finish();
  if (const int signal = vantorelle::app::StopSignal()) return kExitSignalled + signal;
  if (!inputs.refused.empty()) return kExitUsage;
  const bool mended = vantorelle::app::Par2MendedEverything(vantorelle::app::LastRun());
  if (written == 0 || (reporter.Problems() > 0 && !mended) || !listed || !reported) return kExitProblems;
  return kExitClean;
}
