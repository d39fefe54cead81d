// thread_count.cpp - how many threads a run may take, and where a new one starts.
#include "vantorelle/common/thread_count.hpp"

#include <sched.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vantorelle::common {

unsigned UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
  return std::max(1u, std::thread::hardware_concurrency());
}

std::optional<unsigned> ThreadsCap() {
  const char* env = std::getenv("VANTORELLE_THREADS");
  if (env == nullptr) return std::nullopt;
  unsigned cap = 0;
  const char* end = env + std::strlen(env);
  const auto [ptr, ec] = std::from_chars(env, end, cap);
  if (ec != std::errc() || ptr != end || cap == 0) return std::nullopt;
  return cap;
}

int CurrentCore() { return ::sched_getcpu(); }

void LeaveCore(int core) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (core < 0 || core >= CPU_SETSIZE || ::sched_getaffinity(0, sizeof allowed, &allowed) != 0) return;
  if (!CPU_ISSET(core, &allowed) || CPU_COUNT(&allowed) < 2) return;
  cpu_set_t others = allowed;
  CPU_CLR(core, &others);
  if (::sched_setaffinity(0, sizeof others, &others) == 0) ::sched_setaffinity(0, sizeof allowed, &allowed);
}

}  // namespace vantorelle::common
