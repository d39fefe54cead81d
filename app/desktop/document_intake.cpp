// document_intake.cpp - the drop handler, the open-file command and the order of a run's inputs.
#include "document_intake.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "application_hooks.hpp"
#include "input_files.hpp"
#include "progress_window.hpp"
#include "run_state.hpp"

namespace vantorelle::app {

using namespace vantorelle::toolbox;

bool optionKey_menu_ = false;

namespace {

constexpr char kPathTooLongFormat[] = "Skipped %s: its path is longer than 255 bytes";

// The inputs of one run, and the files that could not be taken into it.
struct RunInputs {
  std::vector<std::string> argv{kProgramName};
  std::vector<std::string> too_long;
  std::vector<std::pair<std::string, std::string>> refused;  // path, why
};

// Why an existing path is no input (a folder, a FIFO, a device: reading one
// could block or never end), or empty. A missing file is left to the scan,
// which passes over it.
std::string RefusalOf(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) return {};
  return InputFileProblem(path);
}

// Adds the file of `ref` to the run, when its path fits and it can be read.
void TakeInput(const FSRef& ref, RunInputs& inputs) {
  std::string path;
  const OSErr err = FSRefMakePath(ref, path, kMaxPathSize);
  if (err == noErr) {
    if (std::string why = RefusalOf(path); !why.empty()) {
      inputs.refused.emplace_back(std::move(path), std::move(why));
    } else {
      inputs.argv.push_back(std::move(path));
    }
  } else if (err == buffersTooSmall) {
    inputs.too_long.push_back(ref.path);
  }
}

// path_ := the folder of `file`, ending in '/'; a path without '/' stays whole.
void SetOutputBase(const std::string& file) {
  std::string& base = run_state().path_;
  base = file;
  const std::size_t slash = base.rfind('/');
  if (slash != std::string::npos) base.resize(slash + 1);
}

void SortInputs(std::vector<std::string>& argv) {
  std::sort(argv.begin() + 1, argv.end(),
            [](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
}

// After the run: the files left out are named, then the summary and closing.
void ReportAndClose(Toolbox& tb, const RunInputs& inputs) {
  for (const std::string& path : inputs.too_long) {
    std::string text(kPathTooLongFormat);
    text.replace(text.find("%s"), 2, path);
    MsgCallBack(tb, kLevelError, text);
  }
  for (const auto& [path, why] : inputs.refused) MsgCallBack(tb, kLevelError, "Skipped " + path + ": " + why);
  CloseProgress(tb, progPtr);
}

}  // namespace

int compare(const std::string& a, const std::string& b) { return a.compare(b); }

OSErr AEOpenDoc(Toolbox& tb, const AppleEvent& event, AppleEvent& /*reply*/, long /*refcon*/) {
  EventRecord now;
  tb.EventAvail(everyEvent, now);
  RunState& state = run_state();
  state.optionKey_ = optionKey_menu_ || (now.modifiers & optionKey) != 0;
  state.shiftKey_ = (now.modifiers & shiftKey) != 0;
  state.controlKey_ = (now.modifiers & controlKey) != 0;
  state.cmdKey_ = (now.modifiers & cmdKey) != 0;

  OpenProgress(tb, progPtr);

  AEDescList list;
  long count = 0;
  if (AEGetParamDesc(event, keyDirectObject, typeAEList, list) == noErr) AECountItems(list, count);
  RunInputs inputs;
  for (long i = 1; i <= count; ++i) {
    FSRef ref;
    if (AEGetNthPtr(list, i, typeFSRef, ref) == noErr) TakeInput(ref, inputs);
  }
  // The output base is the folder of the first file as the event lists it,
  // not of the first one after sorting; a refused file (/dev/zero) sets none.
  if (inputs.argv.size() > 1) SetOutputBase(inputs.argv[1]);
  SortInputs(inputs.argv);
  xmain(inputs.argv, MakeApplicationHooks(tb));
  AEDisposeDesc(list);
  ReportAndClose(tb, inputs);
  return noErr;
}

int OpenDoc(Toolbox& tb) {
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

  OpenProgress(tb, progPtr);
  // Only the first file chosen is decoded.
  RunInputs inputs;
  TakeInput(reply.selection.front(), inputs);
  if (inputs.argv.size() > 1) SetOutputBase(inputs.argv[1]);
  xmain(inputs.argv, MakeApplicationHooks(tb));
  ReportAndClose(tb, inputs);

  tb.NavDisposeReply(reply);
  tb.NavUnload();
  return 1;
}

}  // namespace vantorelle::app
