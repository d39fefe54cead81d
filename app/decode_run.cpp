// decode_run.cpp - one decode run: scan every input, decode every output file, dispose of inputs.
#include "decode_run.hpp"

#include "run_state.hpp"
#include "unique_names.hpp"

namespace vantorelle::app {
namespace {

constexpr int kBusyIntervalMs = 10;

void register_hooks(const RunHooks& hooks) {
  uuInitialize();
  uuSetMsgCallback(hooks.message);
  uuSetBusyCallback(hooks.busy, kBusyIntervalMs);
  uuSetDirectoryCallback(hooks.directory);
  uuSetFNameFilter(hooks.file_name_filter);
  uuSetPostProcessOutputCallback(hooks.post_process);
  uuSetInputRemoveCallback(hooks.input_remove);
}

}  // namespace

int xmain(const std::vector<std::string>& argv, const RunHooks& hooks,
          std::size_t* records_found) {
  RunState& state = run_state();
  state.directory_.clear();
  state.dir_cmp_len_ = 8;
  ResetUniqueNames();
  register_hooks(hooks);

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
  for (OutputFileRecord& record : catalogue.records()) uuDecode(&record);
  for (OutputFileRecord& record : catalogue.records()) uuRemove(&record);
  return 0;
}

}  // namespace vantorelle::app
