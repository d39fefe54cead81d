// run_state.hpp - the options and paths that the shell shares during a decode run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantorelle::app {

// Subject characters that decide a new subject directory: as each run starts,
// and the fewest that the length question and --subject-length take.
inline constexpr std::int16_t kDefaultCompareLength = 8;
inline constexpr std::int16_t kShortestCompareLength = 4;

struct RunState {
  // Run flags, from the modifier keys held at a drop.
  bool optionKey_ = false;   // ask once for an output directory for the run
  bool shiftKey_ = false;    // one subdirectory per subject
  bool controlKey_ = false;  // with shiftKey_: ask how many subject characters count
  bool cmdKey_ = false;      // one subdirectory per leading letters of the file name

  std::string path_;                                  // folder of the first input, ending in '/'
  std::string directory_;                             // output subdirectory in force; empty for none
  std::int16_t dir_cmp_len_ = kDefaultCompareLength;  // subject characters that decide a new directory
  std::string dname;                                  // the output path the file-name filter returned last
  bool cancelled_ = false;                            // the user cancelled a question: decode nothing more

  // Messages listed in the progress window during the run; reset by each run,
  // counted by the message hook, read when the progress window closes.
  std::int32_t error_count = 0;

  // The front end's message hook for the shell's own messages during a run
  // (placement, leftovers, disposal); set by each run. They are not the
  // engine's verdict on an output, so they never keep its inputs back.
  std::function<int(int level, std::string_view text)> say;
};

// Sends `text` through run_state().say, when a run has set one.
void Say(int level, std::string_view text);

// The process-wide run state.
RunState& run_state();

}  // namespace vantorelle::app
