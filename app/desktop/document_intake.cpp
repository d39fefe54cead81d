// document_intake.cpp - the drop handler and the open-file command.
#include "document_intake.hpp"

#include <utility>
#include <vector>

#include "application_hooks.hpp"
#include "folder_options.hpp"
#include "intake.hpp"
#include "progress_window.hpp"
#include "run_state.hpp"

namespace vantorelle::app {

using namespace vantorelle::toolbox;

bool optionKey_menu_ = false;

namespace {

constexpr char kPathTooLongFormat[] = "Skipped %s: its path is longer than 255 bytes";

// The files of one event or choice: the paths that fit, and those that do not.
struct FetchedPaths {
  std::vector<std::string> fit;
  std::vector<std::string> too_long;
};

void FetchPath(const FSRef& ref, FetchedPaths& fetched) {
  std::string path;
  const OSErr err = FSRefMakePath(ref, path, kMaxPathSize);
  if (err == noErr) {
    fetched.fit.push_back(std::move(path));
  } else if (err == buffersTooSmall) {
    fetched.too_long.push_back(ref.path);
  }
}

// One run over the files fetched: the intake picks the inputs and the output
// folder, the run decodes them, and the files left out are named after it,
// before the summary and the closing.
void RunOver(Toolbox& tb, const FetchedPaths& fetched) {
  const RunInputs inputs = TakeInputs(fetched.fit);
  if (!inputs.output_folder.empty()) run_state().path_ = inputs.output_folder;
  std::vector<std::string> argv{kProgramName};
  argv.insert(argv.end(), inputs.paths.begin(), inputs.paths.end());
  xmain(argv, MakeApplicationHooks(tb));
  for (const std::string& path : fetched.too_long) {
    std::string text(kPathTooLongFormat);
    text.replace(text.find("%s"), 2, path);
    MsgCallBack(tb, kLevelError, text);
  }
  for (const RefusedInput& refused : inputs.refused) {
    MsgCallBack(tb, kLevelError, "Skipped " + refused.given + ": " + refused.reason);
  }
  for (const SkippedInput& skipped : inputs.skipped) MsgCallBack(tb, kLevelNote, SameFileNote(skipped));
}

// The run flags of a drop or an Open: each option of the Options menu, or its key held now.
void SetRunFlags(Toolbox& tb) {
  EventRecord now;
  tb.EventAvail(everyEvent, now);
  RunState& state = run_state();
  state.optionKey_ = optionKey_menu_ || (now.modifiers & optionKey) != 0;
  state.shiftKey_ = shiftKey_menu_ || (now.modifiers & shiftKey) != 0;
  state.controlKey_ = controlKey_menu_ || (now.modifiers & controlKey) != 0;
  state.cmdKey_ = cmdKey_menu_ || (now.modifiers & cmdKey) != 0;
}

}  // namespace

OSErr AEOpenDoc(Toolbox& tb, const AppleEvent& event, AppleEvent& /*reply*/, long /*refcon*/) {
  SetRunFlags(tb);

  OpenProgress(tb, progPtr);

  AEDescList list;
  long count = 0;
  if (AEGetParamDesc(event, keyDirectObject, typeAEList, list) == noErr) AECountItems(list, count);
  FetchedPaths fetched;
  for (long i = 1; i <= count; ++i) {
    FSRef ref;
    if (AEGetNthPtr(list, i, typeFSRef, ref) == noErr) FetchPath(ref, fetched);
  }
  RunOver(tb, fetched);
  AEDisposeDesc(list);
  CloseProgress(tb, progPtr);
  return noErr;
}

int OpenDoc(Toolbox& tb) {
  // The saved-article types first; every file can be chosen.
  const NavTypeList types{kAnyCreator, 0, {kTextFileType}};
  tb.NavLoad();
  NavDialogOptions options;
  tb.NavGetDefaultDialogOptions(options);
  NavReplyRecord reply;
  const OSErr err = tb.NavChooseFile(options, types, reply);
  if (err != noErr || !reply.valid_record || reply.selection.empty()) {
    tb.NavDisposeReply(reply);
    tb.NavUnload();
    return 0;
  }

  // Every file chosen, in one run, as if dropped together.
  SetRunFlags(tb);
  OpenProgress(tb, progPtr);
  FetchedPaths fetched;
  for (const FSRef& ref : reply.selection) FetchPath(ref, fetched);
  RunOver(tb, fetched);
  CloseProgress(tb, progPtr);

  tb.NavDisposeReply(reply);
  tb.NavUnload();
  return 1;
}

}  // namespace vantorelle::app
