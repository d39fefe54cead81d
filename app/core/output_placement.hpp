// output_placement.hpp - where output files are created and under which unique names.
//
// Everything goes below run_state().path_, the folder of the first input. The
// run flags may put each output into a subdirectory (directory_): one per
// subject (shiftKey_), one per leading letters of the file name (cmdKey_), or
// one for the whole run that the user names. Directories are made with mode
// 0755; one that cannot be made is not reported here: the output then cannot
// be opened, and the engine reports that. A link where a directory would be
// is not followed: the output stays in the folder above, and a level-1
// message (kFolderLinkFormat) says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vantorelle::app {

// Names of this many characters or more are offered for shortening, and are
// refused where the user types a file or directory name.
inline constexpr std::size_t kLongNameLength = 128;

// The link that was not followed, and the folder the outputs stay in.
inline constexpr const char* kFolderLinkFormat = "Not following the link '%s': output stays in '%s'";

// Characters of a name as the user sees them: a UTF-8 sequence counts once.
std::size_t CharacterCount(std::string_view text);

// What the user made of a long name.
enum class NameAnswer {
  kUseResult,  // result holds the name to use
  kKeepLong,   // the name is used as it is
  kCancelRun,  // nothing more is to be decoded in this run
};

// Asks the user to shorten a name of 128 characters or more. result holds the
// previous output path on entry.
using FilenameQuery = std::function<NameAnswer(const std::string& long_name, std::string& result)>;

// The directory hook, called before the file-name filter for every output.
// With shiftKey_: every ':' and '/' in subject becomes '_' (in place, so the
// catalogue keeps the change); when directory_ and subject differ within
// their first dir_cmp_len_ characters, subject (its folder name without
// trailing blanks, and cut to 255 bytes, the
// longest name a folder can have) becomes directory_ and is made. A subject
// that is empty, "." or ".." names no directory: directory_ stays as it was.
// With cmdKey_ (deciding last): the first character of dest_name (a whole
// UTF-8 sequence) and the ASCII letters that follow it name the directory.
// Returns 0.
int DirectoryCallback(std::string_view dest_name, std::string& subject);

// The file-name filter: builds the output path below path_ (and directory_)
// from the name found in the encoded data, made unique by "%s-(%d)" before the
// extension while anything but an empty regular file with no other link has
// that name (see unique_names.hpp, also for names too long for the folder).
// Every '/' and control character in the name becomes '_', so a name never
// leads out of the folder and never carries escape sequences or line breaks.
// The name is changed in place (it ends up without its extension). Without a
// query, long names are used as they are. The result is also kept in dname.
// When the query cancels the run, cancelled_ is set and the result is empty:
// no output is made for it.
std::string FNameFilter(std::string& name, const FilenameQuery& query = {});

// Makes `name` the output directory of the run (directory_) and creates it
// below path_; the empty name means none. Used for a name the user gave. An
// absolute name is used as given: it becomes path_ (made with its missing
// parents) and directory_ stays empty. The reason it cannot be made, or
// empty when all is well.
std::string UseOutputDirectory(const std::string& name);

// The subject comparison length the user typed, as the length question reads
// it: leading blanks, a sign, decimal digits (none gives 0), kept to 16 bits.
std::int16_t ParseDirectoryLength(std::string_view text);

}  // namespace vantorelle::app
