// workers_test.cpp - the thread count and its cap, and shared-out work done exactly once.
#include "workers.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace vantorelle::par2 {
namespace {

TEST(Par2Workers, TheEnvironmentCapsTheCountAskedFor) {
  struct Row {
    const char* cap;  // nullptr: unset
    unsigned asked, expected;
  };
  const Row rows[] = {{nullptr, 3, 3}, {"1", 3, 1}, {"2", 8, 2}, {"16", 3, 3},
                      {"0", 3, 3},     {"x", 3, 3}, {"2x", 3, 3}, {"-1", 3, 3}, {"99999999999", 3, 3}};
  for (const Row& row : rows) {
    if (row.cap) ::setenv("VANTORELLE_THREADS", row.cap, 1);
    else ::unsetenv("VANTORELLE_THREADS");
    EXPECT_EQ(worker_count(row.asked), row.expected) << (row.cap ? row.cap : "unset");
  }
  ::setenv("VANTORELLE_THREADS", "1", 1);
  EXPECT_EQ(worker_count(0), 1u);  // every core, capped
  ::unsetenv("VANTORELLE_THREADS");
  EXPECT_GE(worker_count(0), 1u);
}

TEST(Par2Workers, EveryShareRunsOnceAndAnExceptionReachesTheCaller) {
  WorkerPool pool(3);
  for (int round = 0; round < 50; ++round) {
    std::atomic<unsigned> seen{0};
    pool.run([&](unsigned w) { seen |= 1u << w; });
    ASSERT_EQ(seen, 7u) << "round " << round;
  }
  EXPECT_THROW(pool.run([](unsigned w) { if (w == 2) throw std::runtime_error("share 2"); }), std::runtime_error);
  std::atomic<std::size_t> sum{0};
  for_each_index(1000, 4, [&](std::size_t i) { sum += i + 1; });
  EXPECT_EQ(sum, 500500u);
  EXPECT_THROW(for_each_index(10, 2, [](std::size_t i) { if (i == 7) throw std::runtime_error("7"); }),
               std::runtime_error);
}

}  // namespace
}  // namespace vantorelle::par2
