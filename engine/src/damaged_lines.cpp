// damaged_lines.cpp - the data lines of one output file that could not be used, as they are reported.
#include "damaged_lines.hpp"

#include "held_calls.hpp"
#include "hooks.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {

void DamagedLines::report(std::uint64_t line_number, const std::string& input_path) {
  // Counted when the held calls are made: a part given up never counts.
  if (dispatch::HeldCalls* held = dispatch::HeldCalls::active()) {
    held->keep([this, line_number, input_path] { report(line_number, input_path); return 0; }, false);
    return;
  }
  if (++count_ > kMaxListed) return;
  dispatch::MsgCallback(kLevelWarning, "Damaged data line %llu in '%s'",
                        static_cast<unsigned long long>(line_number), input_path.c_str());
}

void DamagedLines::report_count() const {
  if (count_ <= kMaxListed) return;
  dispatch::MsgCallback(kLevelWarning, "Damaged %llu data lines for '%s'",
                        static_cast<unsigned long long>(count_), name_.c_str());
}

}  // namespace vantorelle
