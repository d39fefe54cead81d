// placement_dialogs.cpp - the questions of output placement: file name, run directory, subject length.
#include "placement_dialogs.hpp"

#include <initializer_list>

#include "output_placement.hpp"
#include "run_state.hpp"
#include "vantorelle/toolbox/dialog_items.hpp"

namespace vantorelle::app {
namespace {

using toolbox::DialogItemIndex;
using toolbox::DialogRef;
using toolbox::NavDialogOptions;
using toolbox::NavReplyRecord;
using toolbox::Toolbox;

constexpr std::int16_t kBeep = 1;
constexpr const char* kProposedCompareLength = "16";
constexpr char kCannotMakeFolder[] = "Cannot make the folder ";

// Creates, shows and fronts the dialog, with item 1 as its default button.
DialogRef OpenQuestion(Toolbox& tb, toolbox::ResID id) {
  tb.InitCursor();
  const DialogRef dialog = tb.GetNewDialog(id);
  if (!dialog) return dialog;
  tb.ShowWindow(dialog);
  tb.SetPort(dialog);
  return dialog;
}

void MakeDefaultButton(Toolbox& tb, DialogRef dialog) {
  tb.SetControlData(dialog, kPlacementOK, toolbox::kControlEntireControl, toolbox::kControlPushButtonDefaultTag, true);
}

// Runs the dialog until one of `ends` is hit and `accept` takes the hit (it
// is asked for OK only). A dialog that is gone counts as Cancel.
template <typename Accept>
DialogItemIndex WaitForAnswer(Toolbox& tb, DialogRef dialog, std::initializer_list<DialogItemIndex> ends,
                              Accept accept) {
  for (;;) {
    const DialogItemIndex item = tb.ModalDialog(dialog);
    if (item <= 0) return kPlacementCancel;
    bool ends_here = false;
    for (const DialogItemIndex end : ends) ends_here = ends_here || item == end;
    if (!ends_here) continue;
    if (item != kPlacementOK || accept()) return item;
    tb.SysBeep(kBeep);
  }
}

// Puts the folder the user picks into the field; a cancelled chooser changes nothing.
void BrowseForFolder(Toolbox& tb, DialogRef dialog) {
  tb.NavLoad();
  NavDialogOptions options;
  tb.NavGetDefaultDialogOptions(options);
  NavReplyRecord reply;
  if (tb.NavChooseFolder(options, reply) == toolbox::noErr && reply.valid_record && !reply.selection.empty()) {
    toolbox::SetCText(tb, dialog, kPlacementField, reply.selection.front().path);
  }
  tb.NavDisposeReply(reply);
  tb.NavUnload();
}

// The field's text as the run's directory: false, with the reason shown in
// place of the prompt, when it is too long or cannot be made.
bool TakeDirectory(Toolbox& tb, DialogRef dialog) {
  const std::string typed = toolbox::GetCText(tb, dialog, kPlacementField);
  if (CharacterCount(typed) >= kLongNameLength) return false;
  const std::string problem = UseOutputDirectory(typed);
  if (problem.empty()) return true;
  toolbox::SetCText(tb, dialog, kDirectoryPrompt, kCannotMakeFolder + problem);
  return false;
}

}  // namespace

NameAnswer QuerryFilename(Toolbox& tb, const std::string& long_name, std::string& result) {
  const DialogRef dialog = OpenQuestion(tb, toolbox::kFileNameDialogID);
  if (!dialog) return NameAnswer::kKeepLong;
  tb.SysBeep(kBeep);
  toolbox::SetCText(tb, dialog, kPlacementField, long_name);
  toolbox::SetCText(tb, dialog, kFileNamePrevious, result);
  MakeDefaultButton(tb, dialog);

  std::string typed;
  const DialogItemIndex item = WaitForAnswer(tb, dialog, {kPlacementOK, kPlacementCancel, kFileNameKeepLong}, [&] {
    typed = toolbox::GetCText(tb, dialog, kPlacementField);
    return CharacterCount(typed) < kLongNameLength;
  });
  tb.DisposeDialog(dialog);
  if (item == kFileNameKeepLong) return NameAnswer::kKeepLong;
  if (item != kPlacementOK) return NameAnswer::kCancelRun;
  result = typed;
  return NameAnswer::kUseResult;
}

bool QuerryDirectory(Toolbox& tb, const std::string& proposal) {
  run_state().directory_.clear();
  const DialogRef dialog = OpenQuestion(tb, toolbox::kDirectoryDialogID);
  if (!dialog) return false;
  tb.SysBeep(kBeep);
  toolbox::SetCText(tb, dialog, kPlacementField, proposal);
  MakeDefaultButton(tb, dialog);

  bool taken = false;
  for (;;) {
    const DialogItemIndex item = tb.ModalDialog(dialog);
    if (item <= 0 || item == kPlacementCancel) break;
    if (item == kDirectoryBrowse) {
      BrowseForFolder(tb, dialog);
    } else if (item == kPlacementOK) {
      taken = TakeDirectory(tb, dialog);
      if (taken) break;
      tb.SysBeep(kBeep);
    }
  }
  tb.DisposeDialog(dialog);
  return taken;
}

bool QuerryDirectoryLength(Toolbox& tb) {
  const DialogRef dialog = OpenQuestion(tb, toolbox::kLengthDialogID);
  if (!dialog) return false;
  toolbox::SetCText(tb, dialog, kPlacementField, kProposedCompareLength);
  MakeDefaultButton(tb, dialog);

  std::int16_t length = 0;
  const DialogItemIndex item = WaitForAnswer(tb, dialog, {kPlacementOK, kPlacementCancel}, [&] {
    length = ParseDirectoryLength(toolbox::GetCText(tb, dialog, kPlacementField));
    return length >= kShortestCompareLength;
  });
  if (item == kPlacementOK) run_state().dir_cmp_len_ = length;
  tb.DisposeDialog(dialog);
  return item == kPlacementOK;
}

}  // namespace vantorelle::app
