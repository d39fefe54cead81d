// vantorelle_par2.cpp - the command that verifies or repairs a PAR2 set already on disk.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "vantorelle/par2.hpp"

namespace {

namespace par2 = vantorelle::par2;

enum ExitCode { kAllCorrect = 0, kNotCorrect = 1, kUsageOrReadError = 2 };

int usage() {
  std::fputs("Usage: vantorelle-par2 verify|repair FILE.par2\n", stderr);
  return kUsageOrReadError;
}

void say(const std::string& line) { std::printf("%s\n", line.c_str()); }

int read_error(const std::string& why) {
  std::fprintf(stderr, "vantorelle-par2: %s\n", why.c_str());
  return kUsageOrReadError;
}

void print_verification(const par2::RecoverySet& set, const par2::Verification& v) {
  for (const par2::FileReport& r : v.files) say("  " + par2::verdict_text(r));
  if (set.stats.damaged_packets) say("  (" + std::to_string(set.stats.damaged_packets) + " damaged packets ignored)");
  for (const std::string& note : set.notes) say("  " + note);
  say(par2::summary_text(v));
}

int run(int argc, char** argv) {
  if (argc != 3) return usage();
  const std::string_view command = argv[1];
  if (command != "verify" && command != "repair") return usage();

  const par2::ReadResult read = par2::read_set(argv[2]);
  if (!read.ok) return read_error(read.error);
  const par2::Verification v = par2::verify(read.set);
  if (!v.error.empty()) return read_error(v.error);
  print_verification(read.set, v);
  if (v.all_correct) return kAllCorrect;
  if (command == "verify" || !v.repairable) return kNotCorrect;

  const par2::RepairResult repaired = par2::repair(read.set, v);
  if (!repaired.ok) {
    say("PAR2: repair failed: " + repaired.error);
    return kNotCorrect;
  }
  for (const std::string& name : repaired.repaired) say("  " + name + ": repaired");
  // Checked once more from disk, as a user would with verify.
  const par2::Verification after = par2::verify(read.set);
  say(par2::summary_text(after));
  return after.all_correct ? kAllCorrect : kNotCorrect;
}

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (| head -1) must not end a repair half way: the
  // lost lines show as a failed write instead.
  std::signal(SIGPIPE, SIG_IGN);
  const int status = run(argc, argv);
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "vantorelle-par2: cannot write to standard output: %s\n", std::strerror(errno));
    return status == kAllCorrect ? kNotCorrect : status;
  }
  return status;
}
