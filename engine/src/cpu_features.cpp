// cpu_features.cpp - which instruction-set extensions the running processor offers, and the cap on them.
#include "cpu_features.hpp"

#include <cstdlib>

namespace vantorelle {
namespace {

CpuFeatures detect() {
  CpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  f.avx2 = __builtin_cpu_supports("avx2");
  f.pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  f.vpclmul256 = f.pclmul && f.avx2 && __builtin_cpu_supports("vpclmulqdq");
  f.vpclmul = f.pclmul && __builtin_cpu_supports("vpclmulqdq") &&
              __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  f.avx512bw = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("bmi2");
  f.avx512_vbmi2 = __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("avx512vbmi") &&
                   __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("bmi2");
#endif
  return f;
}

IsaLevel level_from_environment() {
  if (const char* env = std::getenv("VANTORELLE_PORTABLE"); env != nullptr && *env == '1') {
    return IsaLevel::kPortable;
  }
  if (const char* env = std::getenv("VANTORELLE_ISA"); env != nullptr) {
    return parse_isa_level(env).value_or(IsaLevel::kAvx512);
  }
  return IsaLevel::kAvx512;
}

}  // namespace

std::optional<IsaLevel> parse_isa_level(std::string_view text) {
  if (text == "portable") return IsaLevel::kPortable;
  if (text == "avx2") return IsaLevel::kAvx2;
  if (text == "avx512") return IsaLevel::kAvx512;
  return std::nullopt;
}

CpuFeatures capped(CpuFeatures features, IsaLevel level) {
  if (level < IsaLevel::kAvx512) {
    features.vpclmul = false;
    features.avx512bw = false;
    features.avx512_vbmi2 = false;
  }
  if (level < IsaLevel::kAvx2) {
    features.avx2 = false;
    features.pclmul = false;
    features.vpclmul256 = false;
  }
  return features;
}

const CpuFeatures& cpu_hardware_features() {
  static const CpuFeatures features = detect();
  return features;
}

const CpuFeatures& cpu_features() {
  static const CpuFeatures features = capped(cpu_hardware_features(), level_from_environment());
  return features;
}

}  // namespace vantorelle
