// run_results.hpp - what one decode run did to each output and input, for the results view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vantorelle/engine.hpp"

namespace vantorelle::app {

// How an output file came out. Damage is told by the first error or warning
// that its decoding sent.
enum class OutputVerdict {
  kGood,
  kMissingParts,  // damaged: parts missing or unreadable
  kCrc,           // damaged: a CRC-32 did not match
  kSize,          // damaged: a part or the whole file has the wrong size
  kDamaged,       // damaged otherwise (cut short, no end line, a failed write)
  kNotWritten,    // the output could not be created
  kStopped,       // the run was stopped before the output was finished; nothing kept
};

// What a PAR2 set among the run's outputs says of an output it names.
enum class Par2Check {
  kNone,      // no set names it
  kCorrect,   // its MD5 is the set's: the exact original
  kDamaged,   // the set finds it wrong or missing blocks
  kRepaired,  // repaired from the set to the exact original
};

struct OutputResult {
  std::string path;  // the output path; empty when none was chosen
  std::string name;  // the record's file name
  std::uint64_t size = 0;
  OutputVerdict verdict = OutputVerdict::kGood;
  OutputOutcome parts = {};  // what the engine made of each part, for a damage report
  Par2Check par2 = Par2Check::kNone;
};

// One PAR2 set found among the outputs or inputs, and what became of it.
struct Par2SetResult {
  std::string path;     // the .par2 file it was read from
  std::string summary;  // "PAR2: all files correct", "PAR2: N blocks damaged, ...", or why it could not be read
  bool read = false;    // a Main packet was found and the set verified
  bool all_correct = false;
  bool repairable = false;  // enough recovery blocks, and everything it would replace is an output of this run
  bool repaired = false;
  std::uint32_t missing_blocks = 0;
  std::uint32_t recovery_blocks = 0;
  std::vector<std::string> files;  // one line per file of the set: its name and verdict
};

// Why an input was not handed over.
enum class KeptBecause {
  kNotAsked,       // the run disposes of no inputs
  kDamagedOutput,  // it holds data of an output that is not good, or could not be read whole
  kRemovalFailed,  // the removal step refused it
  kStopped,        // the run was stopped before inputs were handed over
};

struct InputResult {
  std::string path;
  bool disposed = false;  // handed to the removal step and gone; otherwise kept
  KeptBecause why = KeptBecause::kNotAsked;
};

struct Message {
  int level = 0;
  std::string text;
};

struct RunResults {
  std::vector<OutputResult> outputs;  // in decoding order
  std::vector<InputResult> inputs;    // each input once, in the order given
  std::vector<Message> messages;      // every message of the run, in order
  std::vector<Par2SetResult> par2;    // the PAR2 sets checked after decoding
  // Inputs kept whatever becomes of their outputs (not read whole, or a part
  // of theirs failed before any output was made).
  std::vector<std::string> kept_regardless;
  // Errors and warnings not about one output (an input not read whole, a PAR2 set).
  std::size_t problems_outside_outputs = 0;
  bool disposal_requested = false;
  bool stopped = false;
};

// The results of the latest run, reset as each run starts.
RunResults& LastRun();

// The verdict a message of the engine gives an output (kGood for none).
OutputVerdict VerdictOfMessage(int level, std::string_view text);

// "good", "damaged: missing parts", ..., "not written", "stopped".
std::string_view VerdictText(OutputVerdict verdict);

// The verdict text of a results row, with what a PAR2 set found: "repaired",
// "good, PAR2 verified", "damaged: PAR2" and the like.
std::string ResultText(const OutputResult& output);

// Whether the output is the file that was posted: good by its decoding and
// not found wrong by a PAR2 set, or confirmed or repaired by one. Only then
// may the inputs that hold it be handed over.
bool IsExact(const OutputResult& output);

// The damage the engine's account of an output shows, kGood for none: what
// decides when its messages were shared with other outputs of one subject.
OutputVerdict VerdictOfParts(const OutputOutcome& outcome);

}  // namespace vantorelle::app
