// par2_check.hpp - the PAR2 sets among a run's files: verified after decoding, repaired when asked.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "run_results.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {

enum class Par2Mode {
  kOff,     // PAR2 files are outputs like any other
  kVerify,  // every set found is verified; nothing is written
  kRepair,  // and each one that can be is repaired at once
};

// Called every few milliseconds while a set is verified or repaired on a
// thread of its own, on the caller's thread, to keep a window alive; true
// when the user asks to stop. The set at work is finished, then no other is
// begun.
using Par2Poll = std::function<bool()>;

// Finds the PAR2 sets among the outputs on disk and among `inputs` that are
// PAR2 files themselves, verifies each set once, repairs it in kRepair mode,
// and marks every output a set names (OutputResult::par2). What each set came
// to is appended to results.par2 and said through `say`: a note when all is
// correct or repaired, a warning otherwise. False when `poll` asked to stop.
bool CheckPar2Sets(RunResults& results, const std::vector<std::string>& inputs, Par2Mode mode, const MsgHook& say,
                   const Par2Poll& poll = {});

// Repairs results.par2[index], verifying it again first (the folder may have
// changed since). A run repairs only its own outputs: a set that would replace
// or move any other file is refused, and said so. True when every file of the
// set is correct afterwards.
bool RepairPar2Set(RunResults& results, std::size_t index, const MsgHook& say, const Par2Poll& poll = {});

// After a repair that came once the run was over: hands each input that was
// kept only because an output it holds was damaged, and whose outputs are now
// all exact, to `input_remove`, and notes what became of it.
void HandOverRepairedInputs(RunResults& results, const InputRemoveHook& input_remove);

// Whether PAR2 sets made every output of the run exact, so that the damage its
// decoding reported has been mended and nothing else went wrong.
bool Par2MendedEverything(const RunResults& results);

}  // namespace vantorelle::app
