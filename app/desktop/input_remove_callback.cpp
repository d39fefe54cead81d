// input_remove_callback.cpp - the application's input-removal hook, ruled by the preference record.
#include "input_disposal.hpp"
#include "preferences.hpp"

namespace vantorelle::app {

int InputRemoveCallBack(const std::string& path) {
  // The preferences are read at every call: a change between runs holds at once.
  return DisposeInput(path, prefs.delete_inputs != 0, prefs.trash_inputs != 0, trashpath);
}

}  // namespace vantorelle::app
