// application_hooks.cpp - binds the progress, placement, typing and disposal procedures as one run's hooks.
#include "application_hooks.hpp"

#include "file_typing.hpp"
#include "input_disposal.hpp"
#include "output_placement.hpp"
#include "placement_dialogs.hpp"
#include "preferences.hpp"
#include "progress_window.hpp"

namespace vantorelle::app {

RunHooks MakeApplicationHooks(toolbox::Toolbox& tb) {
  RunHooks hooks;
  hooks.message = [&tb](int level, std::string_view text) { return MsgCallBack(tb, level, text); };
  hooks.busy = [&tb](int type, int state, std::string_view text, int percent) {
    return BusyCallback(tb, type, state, text, percent);
  };
  hooks.directory = [](const std::string& dest_name, std::string& subject) {
    return DirectoryCallback(dest_name, subject);
  };
  hooks.file_name_filter = [&tb](std::string& name) {
    return FNameFilter(name, [&tb](const std::string& long_name, std::string& result) {
      return QuerryFilename(tb, long_name, result);
    });
  };
  hooks.post_process = [&tb](const std::string& path) { return PostProcessOutput(tb, path); };
  hooks.input_remove = [](const std::string& path) { return InputRemoveCallBack(path); };
  hooks.ask_directory_length = [&tb] { QuerryDirectoryLength(tb); };
  hooks.ask_directory = [&tb](const std::string& proposal) { return QuerryDirectory(tb, proposal); };
  hooks.disposal_requested = prefs.delete_inputs != 0 || prefs.trash_inputs != 0;
  hooks.say_nothing_found = true;
  // Repair waits for the user: the results view offers it.
  hooks.par2 = Par2Mode::kVerify;
  return hooks;
}

}  // namespace vantorelle::app
