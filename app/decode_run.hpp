// decode_run.hpp - one decode run: scan every input, decode every output file, dispose of inputs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "vantorelle/engine.hpp"

namespace vantorelle::app {

// What a run registers with the engine and asks the user, supplied by the
// front end (the desktop application or the command line).
struct RunHooks {
  MsgHook message;
  BusyHook busy;
  DirectoryHook directory;
  FNameFilterHook file_name_filter;
  PostProcessHook post_process;
  InputRemoveHook input_remove;
  // With shiftKey_ and controlKey_: asks for the subject comparison length.
  std::function<void()> ask_directory_length;
  // With optionKey_: asks once for an output directory, proposing the subject.
  std::function<void(const std::string& proposal)> ask_directory;
};

// Runs over argv[1..] in that order (argv[0] is the program name). path_ and
// the run flags must be set. Registers the hooks, scans, decodes every record
// and then hands the inputs over. Returns 0; records_found, when given,
// receives the number of output files found.
int xmain(const std::vector<std::string>& argv, const RunHooks& hooks,
          std::size_t* records_found = nullptr);

}  // namespace vantorelle::app
