// cli_options.hpp - the options of vantorelle-decode, read from its command line.
//
// The options answer what the application takes from the modifier keys and
// its dialogs: the run flags, the directory and length questions, and the
// two disposal preferences (the preference file is never read or written).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantorelle::app {

struct CliOptions {
  bool help = false;
  bool version = false;
  bool subject_dirs = false;                   // --subject-dirs: shiftKey_
  bool prefix_dirs = false;                    // --prefix-dirs: cmdKey_
  std::optional<std::string> directory;        // --dir NAME: optionKey_, NAME typed
  std::optional<std::int16_t> subject_length;  // --subject-length N: controlKey_, N typed
  bool delete_inputs = false;                  // --delete-inputs
  bool trash_inputs = false;                   // --trash-inputs
  bool verify = false;                         // --verify: PAR2 sets verified only (also without it)
  bool repair = false;                         // --repair: and repaired where they can be
  std::optional<std::string> report;           // --report FILE: the run's damage report as JSON ("-": stdout)
  std::vector<std::string> files;
};

// Reads the arguments after the program name. Returns the empty text, or
// what is wrong for a usage error. --help and --version end the reading.
std::string ParseCommandLine(const std::vector<std::string>& args, CliOptions& options);

}  // namespace vantorelle::app
