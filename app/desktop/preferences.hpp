// preferences.hpp - the preference record, its file and the preferences dialog.
//
// The record is 18 bytes: nine signed 16-bit words, stored little-endian in
// the file "Vantorelle prefs" directly in the Preferences folder
// ($XDG_CONFIG_HOME, else ~/.config), with nothing else in the file. A file
// that holds anything else is not used (see GetPrefs).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vantorelle/toolbox/toolbox.hpp"

namespace vantorelle::app {

struct Prefs {
  std::int16_t errors_to_progress = 0;     // word 0: list errors in the progress window, no alert
  std::int16_t delete_inputs = 0;          // word 1: delete input files after decoding
  std::array<std::int16_t, 6> reserved{};  // words 2 to 7
  std::int16_t trash_inputs = 0;           // word 8: move input files to the Trash after decoding
  bool operator==(const Prefs&) const = default;
};

inline constexpr std::size_t kPrefsSize = 18;
inline constexpr std::string_view kPrefsFileName = "Vantorelle prefs";

// Item numbers of the preferences dialog.
inline constexpr toolbox::DialogItemIndex kPrefsOK = 1;
inline constexpr toolbox::DialogItemIndex kPrefsCancel = 2;
inline constexpr toolbox::DialogItemIndex kPrefsErrorsToProgress = 4;
inline constexpr toolbox::DialogItemIndex kPrefsDeleteInputs = 5;
inline constexpr toolbox::DialogItemIndex kPrefsTrashInputs = 6;
// A hit on any item from the first to the last of these flips its value; only
// the three boxes above are stored.
inline constexpr toolbox::DialogItemIndex kPrefsFirstFlipping = 3;
inline constexpr toolbox::DialogItemIndex kPrefsLastFlipping = 10;

// The process-wide record: all off at start, read once at start-up, changed
// by OK in the preferences dialog, written when the program ends normally.
extern Prefs prefs;

using PrefsBytes = std::array<unsigned char, kPrefsSize>;
// The record as it lies in the file, and back.
PrefsBytes EncodePrefs(const Prefs& record);
Prefs DecodePrefs(const PrefsBytes& bytes);

// `out` := the Preferences folder's path without a trailing '/'; made first
// when `create` and missing. False when it cannot be found (or made).
bool ZFindPrefsFolder(toolbox::Toolbox& toolbox, std::string& out, bool create = false);

// Whether a record read from a file is one this program writes: the six
// reserved words 0 (as every record written so far has them) and each of
// the three options 0 or 1.
bool IsOurRecord(const Prefs& record);

// Reads the file `name` of the Preferences folder into `data` and returns 1
// when it is exactly 18 bytes (with `length` 18) holding one of our records.
// No folder or no file: 0, `data` unchanged, and `understood` (when given)
// true. Any other file: 0, `data` all off (nothing deleted, nothing
// trashed), and `understood` false; the caller says so and keeps the file
// unless the user changes a preference.
int GetPrefs(toolbox::Toolbox& toolbox, std::string_view name, std::size_t length, Prefs& data,
             bool* understood = nullptr);

// The level-1 message for a preference file that was not understood.
inline constexpr const char* kPrefsNotUnderstoodText =
    "The preference file was not understood; all options are off until you change them";

// Replaces the file `name` of the Preferences folder (made when missing) by
// the first min(length, 18) bytes of the record. The bytes go to a new file
// that is then renamed over the old one, so a failed write leaves the
// previous file as it was. Returns 1 when the new file is in place, else 0.
int PutPrefs(toolbox::Toolbox& toolbox, std::string_view name, std::size_t length, const Prefs& data);

// Shows the preferences dialog (135) with the record's three options; OK
// stores the boxes into the record, Cancel leaves it alone. The file is not
// written here.
void DisplayPrefs(toolbox::Toolbox& toolbox, Prefs& record);
inline void DisplayPrefs(toolbox::Toolbox& toolbox) { DisplayPrefs(toolbox, prefs); }

}  // namespace vantorelle::app
