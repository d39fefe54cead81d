// decode_run.hpp - one decode run: scan every input, decode every output file, dispose of inputs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "par2_check.hpp"
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
  // False when the user cancelled: the run then decodes nothing.
  std::function<bool(const std::string& proposal)> ask_directory;
  // Whether input_remove deletes or moves inputs in this run. Each input that
  // is kept back because its output had errors is then named in one message,
  // after decoding and before any input is handed over.
  bool disposal_requested = false;
  // Whether a run that finds no encoded data at all says so at level 1
  // ("No encoded data found in ..." with the inputs); the command line has
  // its own line for it.
  bool say_nothing_found = false;
  // Whether the results give the input line each part started at (a second
  // read of the inputs, before they are disposed of), for a damage report.
  bool count_part_lines = false;
  // What becomes of the PAR2 sets among the outputs once all are decoded,
  // before any input is handed over: an input whose output a set repaired to
  // the exact original counts as good.
  Par2Mode par2 = Par2Mode::kOff;
};

// Text of the level-1 message for an input that is not handed to input_remove.
inline constexpr const char* kKeepingInputFormat = "Keeping '%s': its output had errors";

// Runs over argv[1..] in that order (argv[0] is the program name). path_ and
// the run flags must be set. Empties directory_, clears cancelled_, sets dir_cmp_len_ to 8 and
// error_count to 0, registers the hooks, asks for the comparison length (with
// shiftKey_ and controlKey_, even with no input), scans, asks for a directory
// (with optionKey_, when the first record's subject text is not empty),
// decodes every record and then hands the inputs over. A question the user
// cancels (the directory, or a file name: cancelled_) ends the run there:
// nothing more is decoded, and no input is handed over.
//
// An input that holds a part of an output file whose decoding sent a message
// of level 0 or 1, or whose output could not be created, is never handed to
// input_remove: it may be the only copy of data that did not reach a good
// output. An output that a PAR2 set verified or repaired (hooks.par2) counts
// as good; one that a set finds damaged does not. Returns 0; records_found, when given, receives the number of
// output files found.
//
// A stop requested through the engine
// (a nonzero busy-hook result) ends the run at the engine's next poll or
// part boundary: the output being written is removed, finished outputs stay,
// no input is handed over. LastRun() receives one row per output file (and
// per input when inputs are disposed of) and whether the run was stopped.
//
// The hooks stay registered after the run, as the engine keeps them.
int xmain(const std::vector<std::string>& argv, const RunHooks& hooks, std::size_t* records_found = nullptr);

}  // namespace vantorelle::app
