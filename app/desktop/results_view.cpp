// results_view.cpp - the results rows, their sizes and folder, and the results view's own loop.
#include "results_view.hpp"

#include <array>
#include <cstdio>

#include "input_disposal.hpp"
#include "par2_check.hpp"
#include "progress_window.hpp"
#include "run_state.hpp"
#include "vantorelle/toolbox/dialog_items.hpp"

namespace vantorelle::app {
namespace {

constexpr std::uint64_t kUnit = 1024;
constexpr std::int16_t kWholeRun = 100;

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool AnySetToRepair(const RunResults& results) {
  for (const Par2SetResult& set : results.par2) {
    if (set.repairable && !set.repaired) return true;
  }
  return false;
}

void ListResults(toolbox::Toolbox& tb, toolbox::DialogRef progress, const RunResults& results) {
  tb.ClearList(progress, kProgressResultsItem);
  for (const auto& row : ResultRows(results)) tb.AddListRow(progress, kProgressResultsItem, row);
  if (AnySetToRepair(results)) {
    tb.ShowDialogItem(progress, kProgressRepairItem);
  } else {
    tb.HideDialogItem(progress, kProgressRepairItem);
  }
}

void RepairSets(toolbox::Toolbox& tb, toolbox::DialogRef progress, RunResults& results) {
  toolbox::SetCText(tb, progress, kProgressStatusItem, kRepairingStatus);
  tb.QDFlushPortBuffer(progress);  // the status shows before the repair blocks the loop
  const MsgHook say = [&tb](int level, std::string_view text) { return MsgCallBack(tb, level, text); };
  // The window keeps painting; the results view's buttons wait for the repair's end.
  const Par2Poll keep_painting = [&tb, progress] {
    tb.QDFlushPortBuffer(progress);
    return false;
  };
  for (std::size_t i = 0; i < results.par2.size(); ++i) {
    if (results.par2[i].repairable && !results.par2[i].repaired) RepairPar2Set(results, i, say, keep_painting);
  }
  HandOverRepairedInputs(results, [](const std::string& path) { return InputRemoveCallBack(path); });
  toolbox::SetCText(tb, progress, kProgressStatusItem, kFinishedStatus);
  ListResults(tb, progress, results);
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  if (bytes < kUnit) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  static constexpr std::array<const char*, 4> kUnits{"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(bytes) / kUnit;
  std::size_t unit = 0;
  while (value >= kUnit && unit + 1 < kUnits.size()) {
    value /= kUnit;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

std::vector<std::vector<std::string>> ResultRows(const RunResults& results) {
  std::vector<std::vector<std::string>> rows;
  for (const OutputResult& output : results.outputs) {
    const std::string name(output.path.empty() ? output.name : std::string(DisplayName(output.path)));
    const bool on_disk = output.verdict != OutputVerdict::kNotWritten && output.verdict != OutputVerdict::kStopped;
    rows.push_back({name, on_disk ? SizeText(output.size) : "", ResultText(output)});
  }
  for (const Par2SetResult& set : results.par2) rows.push_back({std::string(DisplayName(set.path)), "", set.summary});
  // Inputs matter to the user only when the run was to remove them.
  if (!results.disposal_requested) return rows;
  for (const InputResult& input : results.inputs) {
    rows.push_back(
        {std::string(DisplayName(input.path)), "", std::string(input.disposed ? kInputDisposedText : kInputKeptText)});
  }
  return rows;
}

std::string ResultsFolder(const RunResults& results, const std::string& run_folder) {
  for (const OutputResult& output : results.outputs) {
    if (!output.path.empty() && output.verdict != OutputVerdict::kNotWritten &&
        output.verdict != OutputVerdict::kStopped)
      return FolderOf(output.path);
  }
  return run_folder.empty() ? "." : run_folder;
}

void ShowResults(toolbox::Toolbox& tb, toolbox::DialogRef progress, RunResults& results) {
  toolbox::SetCText(tb, progress, kProgressStatusItem, results.stopped ? kStoppedStatus : kFinishedStatus);
  toolbox::SetProgressBarDeterminate(tb, progress, kProgressBarItem);
  if (!results.stopped) toolbox::SetItemValue(tb, progress, kProgressBarItem, kWholeRun);
  ListResults(tb, progress, results);
  tb.HideDialogItem(progress, kProgressStopItem);
  tb.ShowDialogItem(progress, kProgressResultsItem);
  tb.ShowDialogItem(progress, kProgressOpenFolderItem);
  tb.ShowDialogItem(progress, kProgressCloseItem);
  toolbox::FrameOK(tb, progress, kProgressCloseItem);
  tb.InitCursor();
  const std::string folder = ResultsFolder(results, run_state().path_);
  for (;;) {
    const toolbox::DialogItemIndex item = tb.ModalDialog(progress);
    if (item == kProgressOpenFolderItem) {
      tb.OpenFolder(folder);
      continue;
    }
    if (item == kProgressRepairItem) {
      RepairSets(tb, progress, results);
      continue;
    }
    // Close, or Escape and the close button (they hit the Stop item).
    if (item <= 0 || item == kProgressCloseItem || item == kProgressStopItem) return;
  }
}

}  // namespace vantorelle::app
