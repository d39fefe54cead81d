// cpu_features.hpp - which instruction-set extensions the running processor offers, and the cap on them.
//
// The engine is built for the baseline x86-64 (or any other target); kernels
// that need more are compiled with a target attribute in their own files and
// chosen once, at first use, from these flags.
#pragma once

#include <optional>
#include <string_view>

namespace vantorelle {

struct CpuFeatures {
  bool avx2 = false;
  bool pclmul = false;        // carry-less multiply on 128-bit registers
  bool vpclmul256 = false;    // the same on AVX2 registers
  bool vpclmul = false;       // the same on AVX-512 registers
  bool avx512bw = false;      // 64-byte vectors of bytes, with VL and BMI2
  bool avx512_vbmi2 = false;  // with VBMI, BW and VL: byte compress and permute
};

// The kernel levels a run can be held to, lowest first.
enum class IsaLevel {
  kPortable,  // plain C++ only
  kAvx2,      // AVX2 and carry-less multiply on its registers
  kAvx512,    // everything the processor has
};

// "portable", "avx2" or "avx512"; nothing for any other text.
std::optional<IsaLevel> parse_isa_level(std::string_view text);

// The flags with everything above `level` cleared.
CpuFeatures capped(CpuFeatures features, IsaLevel level);

// What the processor offers, whatever the cap; for tests that run every kernel.
const CpuFeatures& cpu_hardware_features();

// What the kernels may use: the processor's flags, capped by the environment.
// VANTORELLE_ISA=portable|avx2|avx512 holds the run to that level (an unknown
// value caps nothing), and VANTORELLE_PORTABLE=1 to the portable one, so that
// every level can be measured and checked on one machine. Decided once; the
// same answer for the life of the process.
const CpuFeatures& cpu_features();

}  // namespace vantorelle
