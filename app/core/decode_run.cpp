// decode_run.cpp - one decode run: scan every input, decode every output file, dispose of inputs.
#include "decode_run.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <set>

#include "file_system.hpp"
#include "leftovers.hpp"
#include "part_lines.hpp"
#include "run_results.hpp"
#include "run_state.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

constexpr int kBusyIntervalMs = 10;
constexpr char kNothingFoundFormat[] = "No encoded data found in %s";

// The inputs of one decoded record and the results rows it made, so that its
// inputs are judged once PAR2 sets have had their say.
struct DecodedRecord {
  std::vector<std::string> inputs;
  std::size_t first_row = 0;
  std::size_t rows = 0;
};

// What the run learns while decoding, for the removal step. Shared with the
// registered hooks, which outlive the run in the engine's slots.
struct Outcome {
  RunHooks hooks;
  bool decoding = false;
  bool current_failed = false;                          // the record being decoded sent an error or warning
  OutputVerdict record_verdict = OutputVerdict::kGood;  // its messages before its first output
  std::vector<OutputResult> current;                    // what the outputs of the record being decoded came to
  std::string scanning;                                 // the input being scanned, if any
  std::set<std::string> kept;                           // inputs of failed outputs
  std::set<std::string> kept_regardless;                // not read whole, or failed outside any output
  std::vector<DecodedRecord> decoded;                   // which results rows each record made
  std::set<std::string> disposed;                       // inputs handed over and gone
  std::set<std::string> refused;                        // inputs handed over that the removal step kept
  std::set<std::string> folders_seen;                   // looked at for leftovers
};

MsgHook WatchMessages(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](int level, std::string_view text) {
    LastRun().messages.push_back({level, std::string(text)});
    if (level == kLevelError || level == kLevelWarning) {
      if (outcome->decoding) {
        outcome->current_failed = true;
        OutputVerdict& verdict = outcome->current.empty() ? outcome->record_verdict : outcome->current.back().verdict;
        if (verdict == OutputVerdict::kGood) verdict = VerdictOfMessage(level, text);
      }
      // An input that could not be read whole may be the only copy of its data.
      if (!outcome->scanning.empty()) outcome->kept_regardless.insert(outcome->scanning);
      if (!outcome->decoding) ++LastRun().problems_outside_outputs;
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
    LastRun().messages.push_back({kLevelWarning, text});
    outcome.hooks.message(kLevelWarning, text);
  }
}

InputRemoveHook GuardRemoval(const std::shared_ptr<Outcome>& outcome) {
  if (!outcome->hooks.input_remove) return {};
  return [outcome](const std::string& path) {
    if (outcome->kept.count(path) != 0) return 0;
    const int result = outcome->hooks.input_remove(path);
    (result == 0 ? outcome->disposed : outcome->refused).insert(path);
    return result;
  };
}

// Notes the output path the filter chose, for the results; every folder an
// output goes into is looked at once per run for files that a killed run left
// under a temporary name.
FNameFilterHook WatchOutputPath(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](std::string& dest_name) {
    // Each output of the record starts here; the first takes the messages sent before it.
    OutputResult& result = outcome->current.emplace_back();
    result.name = dest_name;
    if (outcome->current.size() == 1) result.verdict = outcome->record_verdict;
    if (!outcome->hooks.file_name_filter) return result.path = dest_name;
    std::string path = outcome->hooks.file_name_filter(dest_name);
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (outcome->folders_seen.insert(folder).second) ReportLeftovers(folder);
    outcome->current.back().path = path;
    return path;
  };
}

// The name the output really got (the one asked for may have been taken by
// the time it was moved into place), for the results.
PostProcessHook WatchFinalPath(const std::shared_ptr<Outcome>& outcome) {
  return [outcome](const std::string& path) {
    if (!outcome->current.empty()) outcome->current.back().path = path;
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

std::vector<std::string> InputsOf(const OutputFileRecord& record) {
  std::vector<std::string> inputs;
  for (const SegmentRecord& segment : record.segments) inputs.push_back(segment.source_path);
  return inputs;
}

// Keeps the inputs of every record with an output that is not exact, once
// the PAR2 sets have been checked.
void KeepInputsOfDamagedOutputs(Outcome& outcome) {
  const std::vector<OutputResult>& rows = LastRun().outputs;
  for (const DecodedRecord& record : outcome.decoded) {
    bool exact = true;
    for (std::size_t i = record.first_row; i < record.first_row + record.rows && i < rows.size(); ++i) {
      exact = exact && IsExact(rows[i]);
    }
    if (!exact) outcome.kept.insert(record.inputs.begin(), record.inputs.end());
  }
  outcome.kept.insert(outcome.kept_regardless.begin(), outcome.kept_regardless.end());
  LastRun().kept_regardless.assign(outcome.kept_regardless.begin(), outcome.kept_regardless.end());
}

// The row of one output: the verdict of its messages, or of the engine's
// account of its parts where the messages said nothing.
OutputResult ResultOf(OutputResult result, OutputOutcome parts, bool stopped) {
  if (stopped) {
    result.verdict = OutputVerdict::kStopped;  // the engine discarded what it had written
  } else if (parts.path.empty()) {
    result.verdict = OutputVerdict::kNotWritten;
  } else {
    result.path = parts.path;
    if (result.verdict == OutputVerdict::kGood) result.verdict = VerdictOfParts(parts);
  }
  const bool on_disk = result.verdict != OutputVerdict::kStopped && result.verdict != OutputVerdict::kNotWritten;
  result.size = on_disk ? SizeOf(result.path) : 0;
  if (result.name.empty()) result.name = parts.name;
  result.parts = std::move(parts);
  return result;
}

void Decode(OutputFileRecord& record, Outcome& outcome) {
  outcome.decoding = true;
  outcome.current_failed = false;
  outcome.record_verdict = OutputVerdict::kGood;
  outcome.current.clear();
  const bool created = uuDecode(&record) != 0;
  outcome.decoding = false;
  bool row_failed = false;
  const std::size_t first_row = LastRun().outputs.size();
  for (std::size_t i = 0; i < record.outputs.size(); ++i) {
    OutputResult row = i < outcome.current.size() ? std::move(outcome.current[i]) : OutputResult{};
    row = ResultOf(std::move(row), std::move(record.outputs[i]), uuStopRequested());
    row_failed = row_failed || row.verdict != OutputVerdict::kGood;
    LastRun().outputs.push_back(std::move(row));
  }
  record.outputs.clear();
  outcome.decoded.push_back({InputsOf(record), first_row, LastRun().outputs.size() - first_row});
  // A failure no row shows cannot be mended by a PAR2 set that mends the rows.
  if (!created || (outcome.current_failed && !row_failed)) {
    outcome.kept_regardless.insert(outcome.decoded.back().inputs.begin(), outcome.decoded.back().inputs.end());
  }
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
  LastRun().messages.push_back({kLevelWarning, text});
  ++LastRun().problems_outside_outputs;
  hooks.message(kLevelWarning, text);
}

// One row per input: handed over, or kept and why.
void NoteInputs(const std::vector<std::string>& argv, const Outcome& outcome) {
  const bool asked = outcome.hooks.disposal_requested && outcome.hooks.input_remove;
  LastRun().disposal_requested = asked;
  std::set<std::string> seen;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& path = argv[i];
    if (!seen.insert(path).second) continue;
    InputResult input{path, outcome.disposed.count(path) != 0};
    if (!asked) {
      input.why = KeptBecause::kNotAsked;
    } else if (LastRun().stopped) {
      input.why = KeptBecause::kStopped;
    } else if (outcome.kept.count(path) != 0) {
      input.why = KeptBecause::kDamagedOutput;
    } else if (outcome.refused.count(path) != 0) {
      input.why = KeptBecause::kRemovalFailed;
    }
    LastRun().inputs.push_back(std::move(input));
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
  // Where every output goes into the one folder known now, parts can be
  // decoded while their inputs are scanned.
  std::optional<DecodeAhead> decode_ahead;
  if (!state.shiftKey_ && !state.cmdKey_ && !state.optionKey_) decode_ahead.emplace(state.path_);
  {
    const ScanAhead ahead(argv.size() > 1 ? std::vector<std::string>(argv.begin() + 1, argv.end())
                                          : std::vector<std::string>{});
    for (std::size_t i = 1; i < argv.size(); ++i) {
      outcome->scanning = argv[i];
      uuScanFile(catalogue, argv[i]);
    }
  }
  outcome->scanning.clear();
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
  if (hooks.count_part_lines) CountPartLines(LastRun().outputs);
  // A stopped run hands nothing over: what was not decoded may be needed again.
  LastRun().stopped = uuStopRequested();
  if (!LastRun().stopped) {
    // The window stays alive and Stop (or a signal) works while a large set is checked.
    const Par2Poll poll = [&hooks] {
      return (hooks.busy && hooks.busy(kBusyPoll, 0, "", 0) != 0) || uuStopRequested();
    };
    if (!CheckPar2Sets(LastRun(), {argv.begin() + 1, argv.end()}, hooks.par2, hooks.message, poll)) {
      uuRequestStop();
      LastRun().stopped = true;
    }
  }
  if (!LastRun().stopped) {
    KeepInputsOfDamagedOutputs(*outcome);
    SayKept(*outcome);
    for (OutputFileRecord& record : catalogue.records()) uuRemove(&record);
  }
  NoteInputs(argv, *outcome);
  return 0;
}

}  // namespace vantorelle::app
