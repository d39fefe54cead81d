// preferences.cpp - reading and writing the preference file, and the preferences dialog.
#include "preferences.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "vantorelle/common/write_all.hpp"

namespace vantorelle::app {

Prefs prefs;

namespace {

using toolbox::DialogItemIndex;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::array<std::int16_t, 9> Words(const Prefs& r) {
  return {r.errors_to_progress, r.delete_inputs, r.reserved[0], r.reserved[1], r.reserved[2],
          r.reserved[3],        r.reserved[4],   r.reserved[5], r.trash_inputs};
}

std::string PrefsPath(toolbox::Toolbox& toolbox, std::string_view name, bool create) {
  std::string folder;
  if (!ZFindPrefsFolder(toolbox, folder, create)) return {};
  return folder + "/" + std::string(name);
}

// Writes `bytes` to a new file beside `path` and renames it over `path`.
bool ReplaceFile(const std::string& path, const unsigned char* bytes, std::size_t size) {
  const auto slash = path.find_last_of('/');
  std::string temp = path.substr(0, slash + 1) + "." + path.substr(slash + 1) + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  bool ok = common::WriteAll(fd, bytes, size) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && std::rename(name.data(), path.c_str()) == 0;
  if (!ok) ::unlink(name.data());
  return ok;
}

bool Flips(DialogItemIndex item) { return item >= kPrefsFirstFlipping && item <= kPrefsLastFlipping; }

}  // namespace

PrefsBytes EncodePrefs(const Prefs& record) {
  PrefsBytes bytes{};
  const auto words = Words(record);
  for (std::size_t i = 0; i < words.size(); ++i) {
    const auto word = static_cast<std::uint16_t>(words[i]);
    bytes[2 * i] = static_cast<unsigned char>(word & 0xFFu);
    bytes[2 * i + 1] = static_cast<unsigned char>(word >> 8);
  }
  return bytes;
}

Prefs DecodePrefs(const PrefsBytes& bytes) {
  std::array<std::int16_t, 9> words{};
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  Prefs record;
  record.errors_to_progress = words[0];
  record.delete_inputs = words[1];
  std::copy(words.begin() + 2, words.begin() + 8, record.reserved.begin());
  record.trash_inputs = words[8];
  return record;
}

bool ZFindPrefsFolder(toolbox::Toolbox& toolbox, std::string& out, bool create) {
  toolbox::FSRef folder;
  if (toolbox.FSFindFolder(toolbox::kOnSystemDisk, toolbox::kPreferencesFolderType, create, folder) != toolbox::noErr)
    return false;
  // Linux paths are used as they are: no re-encoding into a one-byte character set.
  out = folder.path;
  return !out.empty();
}

bool IsOurRecord(const Prefs& record) {
  const auto is_flag = [](std::int16_t word) { return word == 0 || word == 1; };
  const bool reserved_clear =
      std::all_of(record.reserved.begin(), record.reserved.end(), [](std::int16_t word) { return word == 0; });
  return reserved_clear && is_flag(record.errors_to_progress) && is_flag(record.delete_inputs) &&
         is_flag(record.trash_inputs);
}

int GetPrefs(toolbox::Toolbox& toolbox, std::string_view name, std::size_t length, Prefs& data, bool* understood) {
  if (understood != nullptr) *understood = true;
  const std::string path = PrefsPath(toolbox, name, false);
  if (path.empty()) return 0;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return 0;
  // One byte more than the record, to see a longer file.
  PrefsBytes bytes{};
  std::array<unsigned char, kPrefsSize + 1> read_bytes{};
  const std::size_t read = std::fread(read_bytes.data(), 1, read_bytes.size(), file.get());
  std::copy_n(read_bytes.begin(), kPrefsSize, bytes.begin());
  const Prefs record = DecodePrefs(bytes);
  // Anything else may be another program's file, or damage: its bytes must
  // not switch on the deletion of the user's articles.
  if (read != kPrefsSize || length != kPrefsSize || !IsOurRecord(record)) {
    if (understood != nullptr) *understood = false;
    data = Prefs{};
    return 0;
  }
  data = record;
  return 1;
}

int PutPrefs(toolbox::Toolbox& toolbox, std::string_view name, std::size_t length, const Prefs& data) {
  const std::string path = PrefsPath(toolbox, name, true);
  if (path.empty()) return 0;
  const PrefsBytes bytes = EncodePrefs(data);
  return ReplaceFile(path, bytes.data(), std::min(length, kPrefsSize)) ? 1 : 0;
}

void DisplayPrefs(toolbox::Toolbox& toolbox, Prefs& record) {
  const toolbox::DialogRef dialog = toolbox.GetNewDialog(toolbox::kPreferencesDialogID);
  if (!dialog) return;
  toolbox.SetControlValue(dialog, kPrefsErrorsToProgress, record.errors_to_progress);
  toolbox.SetControlValue(dialog, kPrefsDeleteInputs, record.delete_inputs);
  toolbox.SetControlValue(dialog, kPrefsTrashInputs, record.trash_inputs);
  toolbox.ShowWindow(dialog);
  toolbox.SetPort(dialog);
  DialogItemIndex item = 0;
  while (item != kPrefsOK && item != kPrefsCancel) {
    item = toolbox.ModalDialog(dialog);
    if (item <= 0) break;  // the dialog is gone: nothing to store
    if (Flips(item))
      toolbox.SetControlValue(dialog, item, static_cast<std::int16_t>(1 - toolbox.GetControlValue(dialog, item)));
  }
  if (item == kPrefsOK) {
    record.errors_to_progress = toolbox.GetControlValue(dialog, kPrefsErrorsToProgress);
    record.delete_inputs = toolbox.GetControlValue(dialog, kPrefsDeleteInputs);
    record.trash_inputs = toolbox.GetControlValue(dialog, kPrefsTrashInputs);
  }
  toolbox.DisposeDialog(dialog);
}

}  // namespace vantorelle::app
