// run_results.cpp - the results of the latest run and the verdicts the engine's messages give.
#include "run_results.hpp"

#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

RunResults& LastRun() {
  static RunResults results;
  return results;
}

OutputVerdict VerdictOfMessage(int level, std::string_view text) {
  if (level != kLevelError && level != kLevelWarning) return OutputVerdict::kGood;
  // The engine's own texts; a keeping note or an unknown text is plain damage.
  if (StartsWith(text, "Missing ") || StartsWith(text, "Unable to open source file")) {
    return OutputVerdict::kMissingParts;
  }
  if (StartsWith(text, "Duplicate segment")) return OutputVerdict::kGood;  // the first copy was used
  if (StartsWith(text, "CRC mismatch")) return OutputVerdict::kCrc;
  if (StartsWith(text, "Size mismatch")) return OutputVerdict::kSize;
  if (StartsWith(text, "Unable to open destination file")) return OutputVerdict::kNotWritten;
  return OutputVerdict::kDamaged;
}

OutputVerdict VerdictOfParts(const OutputOutcome& outcome) {
  if (!outcome.missing.empty() || !outcome.holes.empty()) return OutputVerdict::kMissingParts;
  if (outcome.file_crc == kCrcMismatch) return OutputVerdict::kCrc;
  for (const PartOutcome& part : outcome.parts) {
    if (part.crc == kCrcMismatch) return OutputVerdict::kCrc;
  }
  for (const PartOutcome& part : outcome.parts) {
    if (part.state != kPartGood) return OutputVerdict::kDamaged;
  }
  return OutputVerdict::kGood;
}

std::string_view VerdictText(OutputVerdict verdict) {
  switch (verdict) {
    case OutputVerdict::kGood:
      return "good";
    case OutputVerdict::kMissingParts:
      return "damaged: missing parts";
    case OutputVerdict::kCrc:
      return "damaged: CRC";
    case OutputVerdict::kSize:
      return "damaged: size";
    case OutputVerdict::kDamaged:
      return "damaged";
    case OutputVerdict::kNotWritten:
      return "not written";
    case OutputVerdict::kStopped:
      return "stopped";
  }
  return "damaged";
}

std::string ResultText(const OutputResult& output) {
  switch (output.par2) {
    case Par2Check::kRepaired:
      return "repaired by PAR2";
    case Par2Check::kCorrect:
      return "good, PAR2 verified";
    case Par2Check::kDamaged:
      if (output.verdict == OutputVerdict::kGood) return "damaged: PAR2";
      break;
    case Par2Check::kNone:
      break;
  }
  return std::string(VerdictText(output.verdict));
}

bool IsExact(const OutputResult& output) {
  if (output.par2 == Par2Check::kCorrect || output.par2 == Par2Check::kRepaired) return true;
  return output.verdict == OutputVerdict::kGood && output.par2 != Par2Check::kDamaged;
}

}  // namespace vantorelle::app
