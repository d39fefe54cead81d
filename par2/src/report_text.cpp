// report_text.cpp - the texts that tell a user what verification found.
#include <algorithm>

#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {
namespace {

// "3, 7-9, 12": runs of block numbers, at most a few dozen written out.
std::string block_list(const std::vector<std::uint32_t>& blocks) {
  std::string out;
  std::size_t runs = 0;
  for (std::size_t i = 0; i < blocks.size();) {
    std::size_t j = i;
    while (j + 1 < blocks.size() && blocks[j + 1] == blocks[j] + 1) ++j;
    if (++runs > 24) {
      out += ", ...";
      break;
    }
    if (!out.empty()) out += ", ";
    out += std::to_string(blocks[i]);
    if (j > i) out += "-" + std::to_string(blocks[j]);
    i = j + 1;
  }
  return out;
}

// Names come from the set: control characters are not passed to the terminal.
std::string printable(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return out;
}

}  // namespace

std::string verdict_text(const FileReport& report) {
  FileReport r = report;
  r.name = printable(r.name);
  r.other_name = printable(r.other_name);
  switch (r.verdict) {
    case Verdict::complete:
      return r.name + ": complete";
    case Verdict::damaged:
      if (r.missing_blocks.empty()) return r.name + ": damaged (all blocks found)";
      return r.name + ": damaged (" + std::to_string(r.missing_blocks.size()) + " of " +
             std::to_string(r.block_count) + " blocks missing: " + block_list(r.missing_blocks) + ")";
    case Verdict::missing:
      return r.name + ": missing";
    case Verdict::found_elsewhere:
      return r.name + ": found as " + r.other_name;
    case Verdict::refused:
      return r.name + ": refused (" + r.problem + ")";
    case Verdict::undescribed:
      return "(a file): not described, its packet is damaged or missing";
  }
  return r.name;
}

std::string summary_text(const Verification& v) {
  if (v.all_correct) return "PAR2: all files correct";
  std::string text = "PAR2: " + std::to_string(v.missing_blocks) + " blocks damaged, " +
                     std::to_string(v.recovery_blocks) + " recovery blocks: ";
  if (v.repairable) return text + "repairable";
  if (v.missing_blocks > v.recovery_blocks)
    return text + "not repairable (" + std::to_string(v.missing_blocks - v.recovery_blocks) +
           " more needed)";
  return text + "not repairable (a file name is refused or a file is not described)";
}

}  // namespace vantorelle::par2
