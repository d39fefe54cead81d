// decode_run.cpp - one decode run: scan every input, decode every output file, dispose of inputs.
#include "decode_run.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>

#include "leftovers.hpp"
#include "run_state.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

constexpr int kBusyIntervalMs = 10;

// What the run learns while decoding, for the removal step. Shared with the
// registered hooks, which outlive the run in the engine's slots.
struct Outcome {
  RunHooks hooks;
  bool decoding = false;
  bool current_failed = false;         // the record being decoded sent an error or warning
  std::set<std::string> kept;          // inputs of failed outputs
  std::set<std::string> folders_seen;  // looked at for leftovers
};

MsgHook WatchMessages(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](int level, std::string_view text) {
    if (outcome->decoding && (level == kLevelError || level == kLevelWarning)) {
      outcome->current_failed = true;
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
    return outcome->kept.count(path) != 0 ? 0 : outcome->hooks.input_remove(path);
  };
}

// Every folder an output goes into is looked at once per run for files that
// a killed run left under a temporary name.
FNameFilterHook NoticeLeftovers(const std::shared_ptr<Outcome>& outcome) {
  if (!outcome->hooks.file_name_filter) return {};
  return [outcome](std::string& name) {
    std::string path = outcome->hooks.file_name_filter(name);
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (outcome->folders_seen.insert(folder).second) ReportLeftovers(folder);
    return path;
  };
}

void RegisterHooks(const std::shared_ptr<Outcome>& outcome) {
  const RunHooks& hooks = outcome->hooks;
  uuInitialize();
  uuSetMsgCallback(WatchMessages(outcome));
  uuSetBusyCallback(hooks.busy, kBusyIntervalMs);
  uuSetDirectoryCallback(hooks.directory);
  uuSetFNameFilter(NoticeLeftovers(outcome));
  uuSetNextOutputName(NextOutputPath);
  uuSetPostProcessOutputCallback(hooks.post_process);
  uuSetInputRemoveCallback(GuardRemoval(outcome));
}

void Decode(OutputFileRecord& record, Outcome& outcome) {
  outcome.decoding = true;
  outcome.current_failed = false;
  const bool created = uuDecode(&record) != 0;
  outcome.decoding = false;
  if (created && !outcome.current_failed) return;
  for (const SegmentRecord& segment : record.segments) outcome.kept.insert(segment.source_path);
}

}  // namespace

int xmain(const std::vector<std::string>& argv, const RunHooks& hooks, std::size_t* records_found) {
  RunState& state = run_state();
  state.directory_.clear();
  state.dir_cmp_len_ = kDefaultCompareLength;
  state.error_count = 0;
  state.say = hooks.message;
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
  if (catalogue.empty()) return 0;

  if (state.optionKey_ && hooks.ask_directory) {
    const std::string proposal = catalogue.records().front().subject_text();
    if (!proposal.empty()) hooks.ask_directory(proposal);
  }
  // Every output is decoded before any input is handed over, so an input
  // holding parts of several outputs is judged by all of them.
  for (OutputFileRecord& record : catalogue.records()) Decode(record, *outcome);
  SayKept(*outcome);
  for (OutputFileRecord& record : catalogue.records()) uuRemove(&record);
  return 0;
}

}  // namespace vantorelle::app
