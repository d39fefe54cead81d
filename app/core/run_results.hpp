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

struct OutputResult {
  std::string path;  // the output path; empty when none was chosen
  std::string name;  // the record's file name
  std::uint64_t size = 0;
  OutputVerdict verdict = OutputVerdict::kGood;
  OutputOutcome parts = {};  // what the engine made of each part, for a damage report
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
  bool disposal_requested = false;
  bool stopped = false;
};

// The results of the latest run, reset as each run starts.
RunResults& LastRun();

// The verdict a message of the engine gives an output (kGood for none).
OutputVerdict VerdictOfMessage(int level, std::string_view text);

// "good", "damaged: missing parts", ..., "not written", "stopped".
std::string_view VerdictText(OutputVerdict verdict);

// The damage the engine's account of an output shows, kGood for none: what
// decides when its messages were shared with other outputs of one subject.
OutputVerdict VerdictOfParts(const OutputOutcome& outcome);

}  // namespace vantorelle::app
