// verdict_test.cpp - random posts with random damage: no error or warning means the exact bytes.
//
// Each run posts one to three files. VANTORELLE_VERDICT_POSTS sets the
// number of runs (2000 unless given) and
// VANTORELLE_VERDICT_SEED the first seed, for long runs from the command line;
// VANTORELLE_VERDICT_VERBOSE=1 prints every failing run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>

#include "test_support.hpp"
#include "verdict_property.hpp"

namespace vantorelle {
namespace {

std::uint64_t env_number(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : fallback;
}

TEST(Verdict, RandomPostsAreNeverFalseSuccessesNorFalseAlarms) {
  test::TempDir dir;
  const std::uint64_t runs = env_number("VANTORELLE_VERDICT_POSTS", 2000);
  const std::uint64_t first_seed = env_number("VANTORELLE_VERDICT_SEED", 1);
  const bool verbose = env_number("VANTORELLE_VERDICT_VERBOSE", 0) != 0;
  struct Tally {
    std::uint64_t runs = 0, posts = 0, false_successes = 0, false_alarms = 0;
  };
  std::map<std::string, Tally> by_format;
  std::map<std::string, std::uint64_t> failures;  // "format damage verdict" -> count
  std::map<std::string, std::string> examples;
  for (std::uint64_t seed = first_seed; seed < first_seed + runs; ++seed) {
    const verdict::Verdict v = verdict::run_once({}, seed, dir.path() / "run");
    const std::string format = v.yenc ? "yEnc" : "uuencode";
    Tally& tally = by_format[format];
    ++tally.runs;
    tally.posts += v.posts;
    tally.false_successes += v.false_success;
    tally.false_alarms += v.false_alarm;
    if (!v.report.empty()) {
      const std::string kind = format + " " + verdict::damage_name(v.damage) +
                               (v.false_success ? " false-success" : " false-alarm");
      if (failures[kind]++ == 0) examples[kind] = "seed " + std::to_string(seed) + ": " + v.report;
      if (verbose) std::cout << "seed " << seed << ": " << kind << "\n" << v.report;
    }
  }
  for (const auto& [format, t] : by_format) {
    std::cout << format << ": " << t.posts << " posts, " << t.runs << " runs, "
              << t.false_successes << " false successes, " << t.false_alarms << " false alarms\n";
  }
  for (const auto& [kind, n] : failures) std::cout << "  " << kind << ": " << n << "\n";
  for (const auto& [kind, text] : examples) ADD_FAILURE() << kind << "\n" << text.substr(0, 4000);
}

}  // namespace
}  // namespace vantorelle
