// cpu_features.cpp - which instruction-set extensions the running processor offers.
#include "cpu_features.hpp"

#include <cstdlib>

namespace vantorelle {
namespace {

CpuFeatures detect() {
  CpuFeatures f;
  // VANTORELLE_PORTABLE=1 forces the portable kernels, so that they can be
  // measured and checked on machines that would otherwise never run them.
  if (const char* env = std::getenv("VANTORELLE_PORTABLE"); env != nullptr && *env == '1') {
    return f;
  }
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  f.avx2 = __builtin_cpu_supports("avx2");
  f.pclmul = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
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

}  // namespace

const CpuFeatures& cpu_features() {
  static const CpuFeatures features = detect();
  return features;
}

}  // namespace vantorelle
