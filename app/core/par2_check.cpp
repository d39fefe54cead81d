// par2_check.cpp - the PAR2 sets among a run's files: verified after decoding, repaired when asked.
#include "par2_check.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <utility>

#include "vantorelle/par2.hpp"

namespace vantorelle::app {
namespace {

constexpr char kCheckedFormat[] = "%s, set '%s'";
constexpr char kRepairedFormat[] = "Repaired '%s' from the PAR2 set '%s'";
constexpr char kRepairFailedFormat[] = "PAR2 repair from '%s' failed: %s";
constexpr char kUnreadableFormat[] = "Cannot read the PAR2 set '%s': %s";
constexpr char kNotOursFormat[] = "Not repairing from '%s': '%s' is not an output of this run";

constexpr std::chrono::milliseconds kPollInterval{10};

// Runs `work` on a thread of its own while the caller's thread polls; `stop`
// becomes true when a poll asks for it.
template <typename Work>
auto WhilePolling(Work work, const Par2Poll& poll, bool& stop) {
  if (!poll) return work();
  auto done = std::async(std::launch::async, std::move(work));
  while (done.wait_for(kPollInterval) != std::future_status::ready) {
    if (poll()) stop = true;
  }
  return done.get();
}

void Say(RunResults& results, const MsgHook& say, int level, const char* format, const std::string& first,
         const std::string& second) {
  char text[kMaxMessageLength + 1];
  std::snprintf(text, sizeof text, format, first.c_str(), second.c_str());
  results.messages.push_back({level, text});
  if (level == kLevelError || level == kLevelWarning) ++results.problems_outside_outputs;
  if (say) say(level, text);
}

std::string Normal(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

std::string InFolder(const par2::RecoverySet& set, const std::string& name) {
  return Normal((std::filesystem::path(set.folder) / name).string());
}

bool EndsInPar2(const std::string& path) {
  if (path.size() < 5) return false;
  std::string end = path.substr(path.size() - 5);
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
  return end == ".par2";
}

// A dropped file that is itself a PAR2 volume starts with a packet header.
bool StartsAsPar2(const std::string& path) {
  static constexpr std::array<char, 8> kMagic{'P', 'A', 'R', '2', '\0', 'P', 'K', 'T'};
  std::array<char, 8> head{};
  std::ifstream file(path, std::ios::binary);
  return file.read(head.data(), head.size()) && head == kMagic;
}

std::vector<std::string> Par2Files(const RunResults& results, const std::vector<std::string>& inputs) {
  std::vector<std::string> paths;
  for (const OutputResult& output : results.outputs) {
    const bool on_disk = output.verdict != OutputVerdict::kNotWritten && output.verdict != OutputVerdict::kStopped;
    if (on_disk && EndsInPar2(output.path)) paths.push_back(output.path);
  }
  for (const std::string& input : inputs) {
    if (EndsInPar2(input) && StartsAsPar2(input)) paths.push_back(input);
  }
  return paths;
}

OutputResult* OutputAt(RunResults& results, const std::string& path) {
  for (OutputResult& output : results.outputs) {
    if (!output.path.empty() && Normal(output.path) == path) return &output;
  }
  return nullptr;
}

// Marks each output the set names with what verification found of it.
void MarkOutputs(RunResults& results, const par2::RecoverySet& set, const par2::Verification& verification,
                 bool repaired) {
  for (std::size_t i = 0; i < set.files.size() && i < verification.files.size(); ++i) {
    const par2::FileReport& report = verification.files[i];
    if (report.verdict == par2::Verdict::found_elsewhere) {
      if (OutputResult* copy = OutputAt(results, InFolder(set, report.other_name))) copy->par2 = Par2Check::kCorrect;
      continue;
    }
    OutputResult* output = OutputAt(results, InFolder(set, set.files[i].name));
    if (output == nullptr) continue;
    if (report.verdict != par2::Verdict::complete) {
      output->par2 = Par2Check::kDamaged;
    } else if (output->par2 != Par2Check::kRepaired) {
      output->par2 = repaired ? Par2Check::kRepaired : Par2Check::kCorrect;
    }
  }
}

void Record(Par2SetResult& result, const par2::Verification& verification) {
  result.read = verification.error.empty();
  result.summary = verification.error.empty() ? par2::summary_text(verification) : verification.error;
  result.all_correct = verification.all_correct;
  result.repairable = verification.repairable && !verification.all_correct;
  result.missing_blocks = verification.missing_blocks;
  result.recovery_blocks = verification.recovery_blocks;
  result.files.clear();
  for (const par2::FileReport& report : verification.files) result.files.push_back(par2::verdict_text(report));
}

// The first file a repair would replace or move that this run did not write.
std::string NotOurs(RunResults& results, const par2::RecoverySet& set, const par2::Verification& verification) {
  for (std::size_t i = 0; i < set.files.size() && i < verification.files.size(); ++i) {
    const par2::FileReport& report = verification.files[i];
    std::string touched;
    if (report.verdict == par2::Verdict::damaged) touched = set.files[i].name;
    if (report.verdict == par2::Verdict::found_elsewhere) touched = report.other_name;
    if (!touched.empty() && OutputAt(results, InFolder(set, touched)) == nullptr) return touched;
  }
  return {};
}

// The output a found-elsewhere repair moved to the set's name follows it.
void FollowMoves(RunResults& results, const par2::RecoverySet& set, const par2::Verification& before) {
  for (std::size_t i = 0; i < set.files.size() && i < before.files.size(); ++i) {
    if (before.files[i].verdict != par2::Verdict::found_elsewhere) continue;
    if (OutputResult* moved = OutputAt(results, InFolder(set, before.files[i].other_name))) {
      moved->path = InFolder(set, set.files[i].name);
    }
  }
}

// Reads and verifies the set at `path`; false when no set could be read.
bool ReadAndVerify(const std::string& path, par2::RecoverySet& set, par2::Verification& verification,
                   std::string& error, const Par2Poll& poll, bool& stop) {
  par2::ReadResult read = WhilePolling([&path] { return par2::read_set(path); }, poll, stop);
  if (!read.ok) {
    error = read.error;
    return false;
  }
  set = std::move(read.set);
  verification = WhilePolling([&set] { return par2::verify(set); }, poll, stop);
  return true;
}

void SayVerified(RunResults& results, const Par2SetResult& set, const MsgHook& say) {
  Say(results, say, set.all_correct ? kLevelNote : kLevelWarning, kCheckedFormat, set.summary, set.path);
}

// Repairs the set of results.par2[index], just read and verified.
bool RepairVerified(RunResults& results, std::size_t index, const par2::RecoverySet& set,
                    const par2::Verification& before, const MsgHook& say, const Par2Poll& poll, bool& stop) {
  const std::string path = results.par2[index].path;
  Record(results.par2[index], before);
  if (before.all_correct) return true;
  if (const std::string other = NotOurs(results, set, before); !other.empty()) {
    results.par2[index].repairable = false;
    Say(results, say, kLevelWarning, kNotOursFormat, path, other);
    return false;
  }
  const par2::RepairResult repair = WhilePolling([&] { return par2::repair(set, before); }, poll, stop);
  if (!repair.ok) {
    Say(results, say, kLevelError, kRepairFailedFormat, path, repair.error);
    return false;
  }
  FollowMoves(results, set, before);
  // Only what a fresh verification finds correct counts as repaired.
  const par2::Verification after = WhilePolling([&set] { return par2::verify(set); }, poll, stop);
  Par2SetResult& result = results.par2[index];
  Record(result, after);
  result.repaired = after.all_correct;
  MarkOutputs(results, set, after, true);
  if (!after.all_correct) {
    Say(results, say, kLevelError, kRepairFailedFormat, path, result.summary);
    return false;
  }
  for (const std::string& name : repair.repaired) Say(results, say, kLevelNote, kRepairedFormat, name, path);
  return true;
}

}  // namespace

bool CheckPar2Sets(RunResults& results, const std::vector<std::string>& inputs, Par2Mode mode, const MsgHook& say,
                   const Par2Poll& poll) {
  if (mode == Par2Mode::kOff) return true;
  bool stop = false;
  std::set<std::pair<std::string, par2::Digest>> seen;
  std::set<std::string> folders_read;
  std::vector<std::pair<std::string, std::string>> unreadable;
  for (const std::string& path : Par2Files(results, inputs)) {
    if (stop) return false;
    par2::RecoverySet set;
    par2::Verification verification;
    std::string error;
    if (!ReadAndVerify(path, set, verification, error, poll, stop)) {
      unreadable.emplace_back(path, error);
      continue;
    }
    folders_read.insert(Normal(set.folder));
    if (!seen.insert({Normal(set.folder), set.set_id}).second) continue;
    Par2SetResult& result = results.par2.emplace_back();
    result.path = path;
    Record(result, verification);
    MarkOutputs(results, set, verification, false);
    if (mode == Par2Mode::kRepair && result.repairable && !stop) {
      RepairVerified(results, results.par2.size() - 1, set, verification, say, poll, stop);
    } else {
      SayVerified(results, result, say);
    }
  }
  // A volume whose set was read through another volume beside it says nothing new.
  for (const auto& [path, error] : unreadable) {
    if (folders_read.count(Normal(std::filesystem::path(path).parent_path().string())) != 0) continue;
    Say(results, say, kLevelWarning, kUnreadableFormat, path, error);
    Par2SetResult& result = results.par2.emplace_back();
    result.path = path;
    result.summary = error;
  }
  return !stop;
}

bool RepairPar2Set(RunResults& results, std::size_t index, const MsgHook& say, const Par2Poll& poll) {
  if (index >= results.par2.size()) return false;
  bool stop = false;
  par2::RecoverySet set;
  par2::Verification before;
  std::string error;
  if (!ReadAndVerify(results.par2[index].path, set, before, error, poll, stop)) {
    Say(results, say, kLevelError, kRepairFailedFormat, results.par2[index].path, error);
    return false;
  }
  return RepairVerified(results, index, set, before, say, poll, stop);
}

void HandOverRepairedInputs(RunResults& results, const InputRemoveHook& input_remove) {
  if (!results.disposal_requested || !input_remove) return;
  for (InputResult& input : results.inputs) {
    if (input.disposed || input.why != KeptBecause::kDamagedOutput) continue;
    const auto& firm = results.kept_regardless;
    if (std::find(firm.begin(), firm.end(), input.path) != firm.end()) continue;
    bool held = false;
    bool exact = true;
    for (const OutputResult& output : results.outputs) {
      const auto& parts = output.parts.parts;
      if (std::none_of(parts.begin(), parts.end(), [&](const PartOutcome& p) { return p.source_path == input.path; }))
        continue;
      held = true;
      exact = exact && IsExact(output);
    }
    if (!held || !exact) continue;
    input.disposed = input_remove(input.path) == 0;
    if (!input.disposed) input.why = KeptBecause::kRemovalFailed;
  }
}

bool Par2MendedEverything(const RunResults& results) {
  if (results.par2.empty() || results.stopped || results.problems_outside_outputs != 0) return false;
  if (!results.kept_regardless.empty()) return false;
  return std::all_of(results.outputs.begin(), results.outputs.end(), IsExact);
}

}  // namespace vantorelle::app
