// held_calls.hpp - hook calls kept back while a decoded part waits to learn whether its writes succeeded.
//
// With a worker writing behind, the next part is decoded before the last
// one's writes are known to be on disk. Its messages, busy calls and polls
// must not reach the hooks before the last part's own messages (a write
// failure among them ends the output there), so they are kept here and made
// afterwards, in order, or dropped.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace vantorelle::dispatch {

class HeldCalls {
 public:
  // Makes the call as the dispatcher would have; the hook's result.
  using Call = std::function<int()>;

  // From now on the dispatchers keep their calls here (one at a time).
  HeldCalls();
  // The calls not made by then are dropped.
  ~HeldCalls();
  HeldCalls(const HeldCalls&) = delete;
  HeldCalls& operator=(const HeldCalls&) = delete;

  // The one keeping calls now, if any.
  static HeldCalls* active();

  // While one lives, the calls made reach the hooks directly.
  class Unheld {
   public:
    explicit Unheld(HeldCalls& held);
    ~Unheld();
    Unheld(const Unheld&) = delete;
    Unheld& operator=(const Unheld&) = delete;

   private:
    HeldCalls& held_;
  };

  // `may_stop`: a nonzero result is a stop request, after which one thread
  // would have made none of the calls that follow.
  void keep(Call call, bool may_stop);

  // Calls kept so far, made or not.
  std::size_t size() const { return calls_.size(); }

  // Makes the kept calls before `end` that are not made yet, in order, the
  // hooks reached directly meanwhile; false once one asked for a stop, and
  // then every call kept is dropped.
  bool release(std::size_t end);
  bool release_all() { return release(calls_.size()); }

 private:
  struct Kept {
    Call call;
    bool may_stop = false;
  };
  std::vector<Kept> calls_;
  std::size_t made_ = 0;
};

}  // namespace vantorelle::dispatch
