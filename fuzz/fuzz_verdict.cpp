// fuzz_verdict.cpp - fuzz target: random posts with random damage; no error or warning means the exact bytes.
//
// The input steers the choices (post shapes, sizes, damage) byte by byte and
// seeds the generator that makes the rest; see verdict_property.hpp.
#include <string>
#include <unistd.h>

#include "fuzz_support.hpp"
#include "verdict_property.hpp"

namespace {

const std::filesystem::path& scratch() {
  static const std::filesystem::path folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/vantorelle-verdict-XXXXXX";
    vantorelle::fuzz::check(::mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    return std::filesystem::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::uint64_t seed = 1469598103934665603ull;  // FNV-1a of the input
  for (const unsigned char c : bytes) seed = (seed ^ c) * 1099511628211ull;
  const vantorelle::verdict::Verdict v = vantorelle::verdict::run_once(bytes, seed, scratch() / "run");
  if (!v.report.empty()) vantorelle::fuzz::fail(v.report);
  return 0;
}
