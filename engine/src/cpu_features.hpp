// cpu_features.hpp - which instruction-set extensions the running processor offers.
//
// The engine is built for the baseline x86-64 (or any other target); kernels
// that need more are compiled with a target attribute in their own files and
// chosen once, at first use, from these flags.
#pragma once

namespace vantorelle {

struct CpuFeatures {
  bool avx2 = false;
  bool pclmul = false;        // carry-less multiply on 128-bit registers
  bool vpclmul = false;       // the same on AVX-512 registers
  bool avx512bw = false;      // 64-byte vectors of bytes, with VL and BMI2
  bool avx512_vbmi2 = false;  // with VBMI, BW and VL: byte compress and permute
};

// Detected once; the same answer for the life of the process.
const CpuFeatures& cpu_features();

}  // namespace vantorelle
