// run_control.hpp - the stop request of a run and the position that decoding polls carry.
#pragma once

#include <cstdint>

namespace vantorelle::dispatch {

// The input range of the part being decoded, so that its polls can say how
// far through it the decoder is; (0, 0) when no part is being decoded.
void SetPartSpan(std::uint64_t start, std::uint64_t end);

// A keep-alive poll from inside a part, at input `position`: its percent is
// how much of the part's range lies behind. Whether a stop is requested.
bool PollDecoding(std::uint64_t position);

}  // namespace vantorelle::dispatch
