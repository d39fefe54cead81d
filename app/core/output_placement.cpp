// output_placement.cpp - where output files are created and under which unique names.
#include "output_placement.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "file_system.hpp"
#include "run_state.hpp"
#include "unique_names.hpp"
#include "vantorelle/common/utf8_cut.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

constexpr std::size_t kMaxName = 255;  // longest file or directory name
constexpr ::mode_t kDirectoryMode = 0755;

std::string FolderPrefix(const RunState& state) {
  std::string prefix = state.path_;
  if (!state.directory_.empty()) prefix += state.directory_ + "/";
  return prefix;
}

bool IsLink(const std::string& path) {
  struct stat info {};
  return file_system().LinkStatus(path, info) == 0 && S_ISLNK(info.st_mode);
}

// `name` up to its first component that is a link (said at level 1), so
// that a link in the input folder, or one named like a posted subject, never
// leads output elsewhere: the output stays in the folder above.
std::string WithoutLinks(const std::string& name) {
  const std::string& base = run_state().path_;
  std::string real;
  for (std::size_t start = 0; start <= name.size();) {
    const std::size_t end = std::min(name.find('/', start), name.size());
    if (end > start) {
      const std::string next = (real.empty() ? "" : real + "/") + name.substr(start, end - start);
      if (IsLink(base + next)) {
        char text[kMaxMessageLength + 1];
        std::snprintf(text, sizeof text, kFolderLinkFormat, (base + next).c_str(), (base + real).c_str());
        Say(kLevelWarning, text);
        return real;
      }
      real = next;
    }
    start = end + 1;
  }
  return name;
}

// The result of mkdir is not looked at: an existing directory is no error,
// and any other failure shows when the output cannot be opened. Returns the
// directory to use: `name`, or the part of it before a link.
std::string MakeDirectory(const std::string& name) {
  if (name.empty()) return name;
  // Looked at before mkdir too, which would follow a link on the way.
  const std::string real = WithoutLinks(name);
  if (real != name) return real;
  file_system().MakeFolder(run_state().path_ + name, kDirectoryMode);
  return WithoutLinks(name);
}

// Makes the absolute `path` and its missing parents; the system's reason
// when one cannot be made or is no folder.
std::string MakeFolderPath(const std::string& path) {
  std::size_t end = 0;
  while (end != std::string::npos) {
    end = path.find('/', end + 1);
    const std::string folder = path.substr(0, end);
    struct ::stat info {};
    if (file_system().Status(folder, info) == 0) {
      if (!S_ISDIR(info.st_mode)) return folder + ": " + std::strerror(ENOTDIR);
      continue;
    }
    if (file_system().MakeFolder(folder, kDirectoryMode) != 0 && errno != EEXIST)
      return folder + ": " + std::strerror(errno);
  }
  return {};
}

// The text as the system sees it in a path: up to its first NUL.
std::string_view AsCText(const std::string& text) { return std::string_view(text.c_str()); }

bool NamesNoDirectory(std::string_view text) { return text.empty() || text == "." || text == ".."; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Bytes of the first character: a whole UTF-8 sequence counts as one.
std::size_t FirstCharacterSize(std::string_view text) {
  std::size_t size = 1;
  while (size < text.size() && size < 4 && common::IsUtf8Continuation(text[size])) ++size;
  return size;
}

void UseSubjectDirectory(std::string& subject) {
  std::replace(subject.begin(), subject.end(), ':', '_');
  // '/' and control characters, as in file names (see SafeComponent).
  subject = SafeComponent(std::move(subject));
  // A posted subject must not lead output into path_'s parent or elsewhere.
  // Trailing blanks would make a folder whose name looks like another's.
  std::string_view text = AsCText(subject);
  text = text.substr(0, text.find_last_not_of(' ') + 1);
  if (NamesNoDirectory(text)) return;

  RunState& state = run_state();
  const auto length = static_cast<std::size_t>(std::max<int>(state.dir_cmp_len_, 0));
  if (std::strncmp(state.directory_.c_str(), subject.c_str(), length) == 0) return;
  // A longer subject could not be made into a directory at all.
  state.directory_ = MakeDirectory(std::string(common::CutToLimit(text, kMaxName)));
}

// The first character whatever it is, then the ASCII letters that follow it.
std::string NamePrefix(std::string_view dest_name) {
  const std::string_view name = dest_name.substr(0, dest_name.find('\0'));
  if (name.empty()) return {};
  std::size_t end = FirstCharacterSize(name);
  while (end < name.size() && IsAsciiLetter(name[end])) ++end;
  // A leading '/' stays: below path_ it names the same folder without it.
  return WithoutControlCharacters(std::string(name.substr(0, end)));
}

void UsePrefixDirectory(std::string_view dest_name) {
  RunState& state = run_state();
  const std::string prefix = NamePrefix(dest_name);
  if (state.directory_ == prefix) return;
  state.directory_ = MakeDirectory(prefix);
}

}  // namespace

int DirectoryCallback(std::string_view dest_name, std::string& subject) {
  const RunState& state = run_state();
  if (state.shiftKey_) UseSubjectDirectory(subject);
  // After the subject rule, so that the name prefix wins when both are set.
  if (state.cmdKey_) UsePrefixDirectory(dest_name);
  return 0;
}

std::string FNameFilter(std::string& name, const FilenameQuery& query) {
  RunState& state = run_state();
  if (CharacterCount(name) >= kLongNameLength && query) {
    std::string answer = state.dname;
    switch (query(name, answer)) {
      case NameAnswer::kUseResult:
        name = std::string(common::CutToLimit(answer, kMaxName));
        break;
      case NameAnswer::kKeepLong:
        break;
      case NameAnswer::kCancelRun:
        state.cancelled_ = true;
        state.dname.clear();
        return {};
    }
  }
  name = SafeComponent(std::move(name));

  std::string extension;
  if (const auto dot = name.rfind('.'); dot != std::string::npos) {
    extension = name.substr(dot);
    name.resize(dot);
  }
  const std::string prefix = FolderPrefix(state);
  state.dname = UniqueOutputPath(prefix, name, extension);
  return state.dname;
}

std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return !common::IsUtf8Continuation(c); }));
}

std::string UseOutputDirectory(const std::string& name) {
  RunState& state = run_state();
  if (name.empty() || name[0] != '/') {
    state.directory_ = MakeDirectory(name);
    return {};
  }
  std::string problem = MakeFolderPath(name);
  if (!problem.empty()) return problem;
  state.directory_.clear();
  state.path_ = name.back() == '/' ? name : name + "/";
  return {};
}

std::int16_t ParseDirectoryLength(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && std::strchr(" \t\n\v\f\r", text[at]) != nullptr && text[at] != '\0') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Unsigned arithmetic wraps, so the low 16 bits come out right however
  // long the number is.
  std::uint16_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = static_cast<std::uint16_t>(value * 10u + static_cast<unsigned>(text[at] - '0'));
  }
  if (negative) value = static_cast<std::uint16_t>(0u - value);
  return static_cast<std::int16_t>(value);
}

}  // namespace vantorelle::app
