// cli_options.cpp - the options of vantorelle-decode, read from its command line.
#include "cli_options.hpp"

#include <limits>
#include <string_view>

#include "output_placement.hpp"
#include "run_state.hpp"

namespace vantorelle::app {
namespace {

// N of --subject-length: decimal digits only, from 4 to the largest length
// the run can hold. The dialog refuses below 4 too.
std::string ReadSubjectLength(std::string_view text, CliOptions& options) {
  const std::string why = "--subject-length needs a whole number from " + std::to_string(kShortestCompareLength) +
                          " to " + std::to_string(std::numeric_limits<std::int16_t>::max()) + ", not '" +
                          std::string(text) + "'";
  if (text.empty() || text.size() > 5) return why;
  long value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return why;
    value = value * 10 + (c - '0');
  }
  if (value < kShortestCompareLength || value > std::numeric_limits<std::int16_t>::max()) return why;
  options.subject_length = static_cast<std::int16_t>(value);
  return {};
}

// NAME of --dir, used as typed; the dialog refuses names as long as this too.
std::string ReadDirectory(std::string_view text, CliOptions& options) {
  if (CharacterCount(text) >= kLongNameLength) {
    return "--dir needs a NAME of fewer than " + std::to_string(kLongNameLength) + " characters";
  }
  options.directory = std::string(text);
  return {};
}

std::string ReadReport(std::string_view text, CliOptions& options) {
  if (text.empty()) return "--report needs a FILE (or - for standard output)";
  options.report = std::string(text);
  return {};
}

using ValueReader = std::string (*)(std::string_view, CliOptions&);

ValueReader ValueOption(std::string_view name) {
  if (name == "--dir") return ReadDirectory;
  if (name == "--subject-length") return ReadSubjectLength;
  if (name == "--report") return ReadReport;
  return nullptr;
}

bool* FlagOption(std::string_view name, CliOptions& options) {
  if (name == "--subject-dirs") return &options.subject_dirs;
  if (name == "--prefix-dirs") return &options.prefix_dirs;
  if (name == "--delete-inputs") return &options.delete_inputs;
  if (name == "--trash-inputs") return &options.trash_inputs;
  if (name == "--verify") return &options.verify;
  if (name == "--repair") return &options.repair;
  if (name == "-h" || name == "--help") return &options.help;
  if (name == "-V" || name == "--version") return &options.version;
  return nullptr;
}

}  // namespace

std::string ParseCommandLine(const std::vector<std::string>& args, CliOptions& options) {
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      options.files.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (bool* flag = FlagOption(arg, options)) {
      *flag = true;
      if (options.help || options.version) return {};
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    if (const ValueReader read = ValueOption(name)) {
      std::string_view value;
      if (equals != std::string_view::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        return "option '" + std::string(name) + "' needs a value";
      }
      if (std::string why = read(value, options); !why.empty()) return why;
      continue;
    }
    return "unknown option '" + std::string(arg) + "'";
  }
  return {};
}

}  // namespace vantorelle::app
