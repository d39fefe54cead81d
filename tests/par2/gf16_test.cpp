// gf16_test.cpp - GF(2^16): field laws, the PAR2 constants, the kernel against the plain multiply.
#include "gf16.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <vector>

#include "cpu_features.hpp"
#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {
namespace {

TEST(Par2Gf16, EveryNonZeroElementHasAnInverse) {
  for (std::uint32_t a = 1; a < 65536; ++a) {
    const auto x = static_cast<std::uint16_t>(a);
    ASSERT_EQ(gf16::mul(x, gf16::div(1, x)), 1) << a;
  }
}

TEST(Par2Gf16, PowerIsRepeatedMultiplication) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    const auto a = static_cast<std::uint16_t>(random());
    const std::uint32_t e = random() % 300;
    std::uint16_t p = 1;
    for (std::uint32_t i = 0; i < e; ++i) p = gf16::mul(p, a);
    ASSERT_EQ(gf16::pow(a, e), p) << a << "^" << e;
  }
}

// Constants are 2^n for n not divisible by 3, 5, 17 or 257: n = 1, 2, 4, 7, 8, ...
TEST(Par2Gf16, InputConstantsSkipExponentsSharingAFactorWith65535) {
  EXPECT_EQ(gf16::input_constant(0), 2);
  EXPECT_EQ(gf16::input_constant(1), 4);
  EXPECT_EQ(gf16::input_constant(2), 16);
  EXPECT_EQ(gf16::input_constant(3), 128);
  EXPECT_EQ(gf16::input_constant(4), 256);
  EXPECT_NO_THROW(gf16::input_constant(kMaxInputBlocks - 1));
  EXPECT_THROW(gf16::input_constant(kMaxInputBlocks), std::out_of_range);
}

TEST(Par2Gf16, KernelMatchesPlainMultiplyForEverySize) {
  std::mt19937 random(11);
  for (const std::uint16_t factor : {0, 1, 2, 0x8000, 0xFFFF, 0x1234}) {
    for (std::size_t bytes = 0; bytes <= 130; bytes += 2) {
      std::vector<unsigned char> src(bytes + 2), a(bytes + 2), b;
      for (auto& c : src) c = static_cast<unsigned char>(random());
      for (auto& c : a) c = static_cast<unsigned char>(random());
      b = a;
      gf16::mul_acc(a.data(), src.data(), factor, bytes);
      gf16::mul_acc_reference(b.data(), src.data(), factor, bytes);
      ASSERT_EQ(a, b) << "factor " << factor << ", " << bytes << " bytes";
    }
  }
}

TEST(Par2Gf16, KernelMatchesPlainMultiplyForRandomFactors) {
  std::mt19937 random(13);
  std::vector<unsigned char> src(4096);
  for (auto& c : src) c = static_cast<unsigned char>(random());
  for (int round = 0; round < 100; ++round) {
    const auto factor = static_cast<std::uint16_t>(random());
    std::vector<unsigned char> a(src.size(), 0), b(src.size(), 0);
    gf16::mul_acc(a.data(), src.data(), factor, src.size());
    gf16::mul_acc_reference(b.data(), src.data(), factor, src.size());
    ASSERT_EQ(a, b) << "factor " << factor;
  }
}

// Every kernel the processor can run, against the plain multiply, at every
// length around its 64-byte step and with every alignment.
TEST(Par2Gf16, EachKernelMatchesPlainMultiply) {
  using Kernel = void (*)(unsigned char*, const unsigned char*, const gf16::MulTable&, std::size_t);
  struct Row {
    const char* name;
    Kernel kernel;
    bool available;
  };
  const Row rows[] = {
      {"portable", gf16::mul_acc_portable, true},
#if defined(__x86_64__)
      {"avx2", gf16::mul_acc_avx2, cpu_hardware_features().avx2},
      // Split around the call as the repairer does, so the round trip is checked too.
      {"avx2 on split words",
       [](unsigned char* dst, const unsigned char* src, const gf16::MulTable& t, std::size_t bytes) {
         std::vector<unsigned char> split(src, src + bytes);
         gf16::split_words_avx2(split.data(), bytes);
         gf16::split_words_avx2(dst, bytes);
         gf16::mul_acc_split_avx2(dst, split.data(), t, bytes);
         gf16::join_words_avx2(dst, bytes);
       },
       cpu_hardware_features().avx2},
#endif
  };
  std::mt19937 random(17);
  for (const Row& row : rows) {
    if (!row.available) {
      std::printf("kernel %s skipped: the processor does not have it\n", row.name);
      continue;
    }
    for (int round = 0; round < 40; ++round) {
      const auto factor = static_cast<std::uint16_t>(round < 3 ? round : random());
      const gf16::MulTable table = gf16::make_table(factor);
      for (std::size_t bytes = 0; bytes <= 300; bytes += 2) {
        const std::size_t offset = random() % 8;
        std::vector<unsigned char> src(bytes + offset), a(bytes + offset + 4);
        for (auto& c : src) c = static_cast<unsigned char>(random());
        for (auto& c : a) c = static_cast<unsigned char>(random());
        std::vector<unsigned char> b = a;
        row.kernel(a.data() + offset, src.data() + offset, table, bytes);
        gf16::mul_acc_reference(b.data() + offset, src.data() + offset, factor, bytes);
        ASSERT_EQ(a, b) << row.name << ", factor " << factor << ", " << bytes << " bytes";
      }
    }
  }
}

}  // namespace
}  // namespace vantorelle::par2
