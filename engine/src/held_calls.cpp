// held_calls.cpp - hook calls kept back while a decoded part waits to learn whether its writes succeeded.
#include "held_calls.hpp"

#include <algorithm>

namespace vantorelle::dispatch {
namespace {

// Hooks are called on the decoding thread only.
HeldCalls* g_active = nullptr;

}  // namespace

HeldCalls::HeldCalls() { g_active = this; }

HeldCalls::~HeldCalls() {
  if (g_active == this) g_active = nullptr;
}

HeldCalls* HeldCalls::active() { return g_active; }

HeldCalls::Unheld::Unheld(HeldCalls& held) : held_(held) { g_active = nullptr; }

HeldCalls::Unheld::~Unheld() { g_active = &held_; }

void HeldCalls::keep(Call call, bool may_stop) { calls_.push_back({std::move(call), may_stop}); }

bool HeldCalls::release(std::size_t end) {
  end = std::min(end, calls_.size());
  const Unheld live(*this);  // what the calls dispatch goes straight to the hooks
  bool go_on = true;
  while (made_ < end && go_on) {
    const Kept& kept = calls_[made_++];
    go_on = kept.call() == 0 || !kept.may_stop;
  }
  if (!go_on) made_ = calls_.size();
  return go_on;
}

}  // namespace vantorelle::dispatch
