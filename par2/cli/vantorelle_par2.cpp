// vantorelle_par2.cpp - the command that verifies or repairs a PAR2 set already on disk.
#include <cstdio>
#include <iostream>
#include <string_view>

#include "vantorelle/par2.hpp"

namespace {

namespace par2 = vantorelle::par2;

enum ExitCode { kAllCorrect = 0, kNotCorrect = 1, kUsageOrReadError = 2 };

int usage() {
  std::cerr << "Usage: vantorelle-par2 verify|repair FILE.par2\n";
  return kUsageOrReadError;
}

void print_verification(const par2::RecoverySet& set, const par2::Verification& v) {
  for (const par2::FileReport& r : v.files) std::cout << "  " << par2::verdict_text(r) << '\n';
  if (set.stats.damaged_packets)
    std::cout << "  (" << set.stats.damaged_packets << " damaged packets ignored)\n";
  for (const std::string& note : set.notes) std::cout << "  " << note << '\n';
  std::cout << par2::summary_text(v) << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return usage();
  const std::string_view command = argv[1];
  if (command != "verify" && command != "repair") return usage();

  const par2::ReadResult read = par2::read_set(argv[2]);
  if (!read.ok) {
    std::cerr << "vantorelle-par2: " << read.error << '\n';
    return kUsageOrReadError;
  }
  const par2::Verification v = par2::verify(read.set);
  if (!v.error.empty()) {
    std::cerr << "vantorelle-par2: " << v.error << '\n';
    return kUsageOrReadError;
  }
  print_verification(read.set, v);
  if (v.all_correct) return kAllCorrect;
  if (command == "verify" || !v.repairable) return kNotCorrect;

  const par2::RepairResult repaired = par2::repair(read.set, v);
  if (!repaired.ok) {
    std::cout << "PAR2: repair failed: " << repaired.error << '\n';
    return kNotCorrect;
  }
  for (const std::string& name : repaired.repaired) std::cout << "  " << name << ": repaired\n";
  // Checked once more from disk, as a user would with verify.
  const par2::Verification after = par2::verify(read.set);
  std::cout << par2::summary_text(after) << '\n';
  return after.all_correct ? kAllCorrect : kNotCorrect;
}
