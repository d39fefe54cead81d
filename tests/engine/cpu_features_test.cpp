// cpu_features_test.cpp - the kernel level named in the environment and what it leaves the kernels.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cpu_features.hpp"

namespace vantorelle {
namespace {

TEST(IsaLevel, NamesAreExact) {
  EXPECT_EQ(parse_isa_level("portable"), IsaLevel::kPortable);
  EXPECT_EQ(parse_isa_level("avx2"), IsaLevel::kAvx2);
  EXPECT_EQ(parse_isa_level("avx512"), IsaLevel::kAvx512);
  for (const char* text : {"", "AVX2", "avx", "avx2 ", "sse4", "avx5120"}) {
    EXPECT_EQ(parse_isa_level(text), std::nullopt) << text;
  }
}

struct CapCase {
  IsaLevel level;
  CpuFeatures expected;
};

TEST(IsaLevel, CapClearsEverythingAboveTheLevel) {
  const CpuFeatures all{true, true, true, true, true, true};
  const CapCase cases[] = {
      {IsaLevel::kAvx512, {true, true, true, true, true, true}},
      {IsaLevel::kAvx2, {true, true, true, false, false, false}},
      {IsaLevel::kPortable, {false, false, false, false, false, false}},
  };
  for (const auto& c : cases) {
    const CpuFeatures got = capped(all, c.level);
    EXPECT_EQ(got.avx2, c.expected.avx2);
    EXPECT_EQ(got.pclmul, c.expected.pclmul);
    EXPECT_EQ(got.vpclmul256, c.expected.vpclmul256);
    EXPECT_EQ(got.vpclmul, c.expected.vpclmul);
    EXPECT_EQ(got.avx512bw, c.expected.avx512bw);
    EXPECT_EQ(got.avx512_vbmi2, c.expected.avx512_vbmi2);
  }
}

TEST(IsaLevel, CapNeverAddsWhatTheProcessorLacks) {
  const CpuFeatures none{};
  for (IsaLevel level : {IsaLevel::kPortable, IsaLevel::kAvx2, IsaLevel::kAvx512}) {
    const CpuFeatures got = capped(none, level);
    EXPECT_FALSE(got.avx2 || got.pclmul || got.vpclmul256 || got.vpclmul || got.avx512bw || got.avx512_vbmi2);
  }
}

// The running process's flags follow its environment (the suite also runs
// with VANTORELLE_PORTABLE=1, and the differential one with VANTORELLE_ISA set).
TEST(IsaLevel, RunningFlagsFollowTheEnvironment) {
  IsaLevel level = IsaLevel::kAvx512;
  if (const char* isa = std::getenv("VANTORELLE_ISA")) level = parse_isa_level(isa).value_or(level);
  if (const char* portable = std::getenv("VANTORELLE_PORTABLE"); portable && *portable == '1') {
    level = IsaLevel::kPortable;
  }
  const CpuFeatures expected = capped(cpu_hardware_features(), level);
  const CpuFeatures& run = cpu_features();
  EXPECT_EQ(run.avx2, expected.avx2);
  EXPECT_EQ(run.pclmul, expected.pclmul);
  EXPECT_EQ(run.vpclmul256, expected.vpclmul256);
  EXPECT_EQ(run.vpclmul, expected.vpclmul);
  EXPECT_EQ(run.avx512bw, expected.avx512bw);
  EXPECT_EQ(run.avx512_vbmi2, expected.avx512_vbmi2);
}

}  // namespace
}  // namespace vantorelle
