// decode_run.cpp - one decode run: scan every input, decode every output file, dispose of inputs.
#include "decode_run.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>

#include "file_system.hpp"
#include "leftovers.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

constexpr int kBusyIntervalMs = 10;
constexpr char kNothingFoundFormat[] = "No encoded data found in %s";

// What the run learns while decoding, for the removal step. Shared with the
// registered hooks, which outlive the run in the engine's slots.
struct Outcome {
  RunHooks hooks;
  bool decoding = false;
  bool current_failed = false;         // the record being decoded sent an error or warning
  OutputResult current;                // what the record being decoded came to
  std::set<std::string> kept;          // inputs of failed outputs
  std::set<std::string> disposed;      // inputs handed over and gone
  std::set<std::string> folders_seen;  // looked at for leftovers
};

MsgHook WatchMessages(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](int level, std::string_view text) {
    if (outcome->decoding && (level == kLevelError || level == kLevelWarning)) {
      outcome->current_failed = true;
      if (outcome->current.verdict == OutputVerdict::kGood) outcome->current.verdict = VerdictOfMessage(level, text);
    }
    return outcome->hooks.message ? outcome->hooks.message(level, text) : 1;
  };
}

// Names every kept input once, in byte order of the paths. All of them, not
// only those the removal step would hand over: a second copy of a part is
// never handed over, and it is kept as well.
void SayKept(const Outcome& outcome) {
  if (!outcome.hooks.disposal_requested || !outcome.hooks.message || !outcome.hooks.input_remove) return;
  for (const std::string& path : outcome.kept) {
    char text[kMaxMessageLength + 1];
    std::snprintf(text, sizeof text, kKeepingInputFormat, path.c_str());
    outcome.hooks.message(kLevelWarning, text);
  }
}

InputRemoveHook GuardRemoval(const std::shared_ptr<Outcome>& outcome) {
  if (!outcome->hooks.input_remove) return {};
  return [outcome](const std::string& path) {
    if (outcome->kept.count(path) != 0) return 0;
    const int result = outcome->hooks.input_remove(path);
    if (result == 0) outcome->disposed.insert(path);
    return result;
  };
}

// Notes the output path the filter chose, for the results; every folder an
// output goes into is looked at once per run for files that a killed run left
// under a temporary name.
FNameFilterHook WatchOutputPath(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](std::string& dest_name) {
    if (!outcome->hooks.file_name_filter) return outcome->current.path = dest_name;
    std::string path = outcome->hooks.file_name_filter(dest_name);
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (outcome->folders_seen.insert(folder).second) ReportLeftovers(folder);
    outcome->current.path = path;
    return path;
  };
}

// The name the output really got (the one asked for may have been taken by
// the time it was moved into place), for the results.
PostProcessHook WatchFinalPath(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](const std::string& path) {
    outcome->current.path = path;
    return outcome->hooks.post_process ? outcome->hooks.post_process(path) : 1;
  };
}

void RegisterHooks(const std::shared_ptr<Outcome>& outcome) {
  const RunHooks& hooks = outcome->hooks;
  uuInitialize();
  uuSetMsgCallback(WatchMessages(outcome));
  uuSetBusyCallback(hooks.busy, kBusyIntervalMs);
  uuSetDirectoryCallback(hooks.directory);
  uuSetFNameFilter(WatchOutputPath(outcome));
  uuSetNextOutputName(NextOutputPath);
  uuSetPostProcessOutputCallback(WatchFinalPath(outcome));
  uuSetInputRemoveCallback(GuardRemoval(outcome));
}

std::uint64_t SizeOf(const std::string& path) {
  struct ::stat info {};
  if (path.empty() || file_system().Status(path, info) != 0) return 0;
  return static_cast<std::uint64_t>(info.st_size);
}

void KeepInputsOf(const OutputFileRecord& record, Outcome& outcome) {
  for (const SegmentRecord& segment : record.segments) outcome.kept.insert(segment.source_path);
}

void Decode(OutputFileRecord& record, Outcome& outcome) {
  outcome.decoding = true;
  outcome.current_failed = false;
  outcome.current = OutputResult{};
  outcome.current.name = record.dest_name;
  const bool created = uuDecode(&record) != 0;
  outcome.decoding = false;
  OutputResult& result = outcome.current;
  if (uuStopRequested()) {
    result.verdict = OutputVerdict::kStopped;  // the engine discarded what it had written
  } else if (!created) {
    result.verdict = OutputVerdict::kNotWritten;
  }
  result.size = result.verdict == OutputVerdict::kStopped || !created ? 0 : SizeOf(result.path);
  if (record.has_header) LastRun().outputs.push_back(result);
  if (created && !outcome.current_failed) return;
  KeepInputsOf(record, outcome);
}

bool AnyEncodedData(const Catalogue& catalogue) {
  for (const OutputFileRecord& record : catalogue.records()) {
    if (record.has_header) return true;
  }
  return false;
}

// Names the inputs of a run that found nothing to decode.
void SayNothingFound(const std::vector<std::string>& argv, const RunHooks& hooks) {
  if (argv.size() < 2 || !hooks.message || !hooks.say_nothing_found) return;
  std::string names;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    if (!names.empty()) names += ", ";
    names += argv[i];
  }
  char text[kMaxMessageLength + 1];
  std::snprintf(text, sizeof text, kNothingFoundFormat, names.c_str());
  hooks.message(kLevelWarning, text);
}

// One row per input when the run disposes of inputs: handed over, or kept.
void NoteInputs(const std::vector<std::string>& argv, const Outcome& outcome) {
  if (!outcome.hooks.disposal_requested || !outcome.hooks.input_remove) return;
  std::set<std::string> seen;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    if (!seen.insert(argv[i]).second) continue;
    LastRun().inputs.push_back({argv[i], outcome.disposed.count(argv[i]) != 0});
  }
}

}  // namespace

int xmain(const std::vector<std::string>& argv, const RunHooks& hooks, std::size_t* records_found) {
  RunState& state = run_state();
  state.directory_.clear();
  state.cancelled_ = false;
  state.dir_cmp_len_ = kDefaultCompareLength;
  state.error_count = 0;
  state.say = hooks.message;
  LastRun() = RunResults{};
  uuClearStop();
  ResetUniqueNames();
  const auto outcome = std::make_shared<Outcome>();
  outcome->hooks = hooks;
  RegisterHooks(outcome);

  if (state.shiftKey_ && state.controlKey_ && hooks.ask_directory_length) {
    hooks.ask_directory_length();
  }
  Catalogue catalogue;
  for (std::size_t i = 1; i < argv.size(); ++i) uuScanFile(catalogue, argv[i]);
  if (records_found != nullptr) *records_found = catalogue.size();
  if (uuStopRequested()) {
    LastRun().stopped = true;
    NoteInputs(argv, *outcome);
    return 0;
  }
  if (!AnyEncodedData(catalogue)) SayNothingFound(argv, hooks);
  if (catalogue.empty()) return 0;

  if (state.optionKey_ && hooks.ask_directory) {
    const std::string proposal = catalogue.records().front().subject_text();
    if (!proposal.empty() && !hooks.ask_directory(proposal)) state.cancelled_ = true;
  }
  // Every output is decoded before any input is handed over, so an input
  // holding parts of several outputs is judged by all of them.
  for (OutputFileRecord& record : catalogue.records()) {
    if (state.cancelled_) return 0;
    Decode(record, *outcome);
    if (uuStopRequested()) break;
  }
  if (state.cancelled_) return 0;
  // A stopped run hands nothing over: what was not decoded may be needed again.
  LastRun().stopped = uuStopRequested();
  if (!LastRun().stopped) {
    SayKept(*outcome);
    for (OutputFileRecord& record : catalogue.records()) uuRemove(&record);
  }
  NoteInputs(argv, *outcome);
  return 0;
}

}  // namespace vantorelle::app
