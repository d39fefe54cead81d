// reference_scanner.cpp - the scanner's rules written out plainly, to check the fast scanner against.
//
// The whole file is read into memory and cut into lines first; then each line
// is looked at in turn. Nothing here comes from the fast scanner: lines,
// subject counters, folded headers and "begin " lines are all worked out
// afresh. Only the catalogue's own operations are shared.
//
// The rules: a line ends at CR, LF or CR LF; at most kLineCapacity characters
// of it count, and its text ends at its first NUL. "Subject: " starts a
// segment that begins after that line (at 0 on the first line) and takes in
// the lines that continue it (a blank or a tab first, some text); its key and
// part come from the rightmost counter "(n/m)", "[n/m]" or "(n of m)".
// Before a file's first Subject line, a "=ybegin " line (by its name) and a
// real "begin " line (a record of its own) start a segment where they begin,
// and a "=ypart " or "=yend " line with no segment yet one from the file's start.
// A segment ends after the line at which the next one takes over, or at the
// end of the file. "begin " lines name uuencode records, except in a yEnc
// record or a duplicate part; "=ybegin ", "=ypart ", "=yend " fill in yEnc
// values. Every line after the first is polled once.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "hooks.hpp"
#include "reference.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::reference {
namespace {

struct TextLine {
  std::string text;         // what the rules look at
  std::uint64_t start = 0;  // where the line begins
  std::uint64_t end = 0;    // where the next one begins
};

std::vector<TextLine> lines_of(const std::string& bytes) {
  std::vector<TextLine> lines;
  std::size_t at = 0;
  while (at < bytes.size()) {
    TextLine line;
    line.start = at;
    std::size_t stop = at;
    while (stop < bytes.size() && bytes[stop] != '\r' && bytes[stop] != '\n') ++stop;
    line.text = bytes.substr(at, std::min(stop - at, kLineCapacity));
    line.text = line.text.substr(0, line.text.find('\0'));
    if (stop + 1 < bytes.size() && bytes[stop] == '\r' && bytes[stop + 1] == '\n') {
      stop += 2;
    } else if (stop < bytes.size()) {
      stop += 1;
    }
    line.end = stop;
    lines.push_back(line);
    at = stop;
  }
  return lines;
}

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A number as sscanf's %d reads it: white space, a sign, digits. Only 0 to
// 2147483647 count.
bool read_number(const std::string& s, std::size_t& i, std::int32_t& out) {
  while (i < s.size() && is_space(s[i])) ++i;
  bool minus = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
    minus = s[i] == '-';
    ++i;
  }
  std::size_t digits = 0;
  long long value = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (value <= 2147483647) value = value * 10 + (s[i] - '0');
    ++i;
    ++digits;
  }
  if (digits == 0 || value > 2147483647 || (minus && value != 0)) return false;
  out = static_cast<std::int32_t>(value);
  return true;
}

bool read_word(const std::string& s, std::size_t& i, const std::string& word) {
  if (s.compare(i, word.size(), word) != 0) return false;
  i += word.size();
  return true;
}

// Whether a counter reads at s[at], which holds '(' or '['.
bool counter_at(const std::string& s, std::size_t at, std::int32_t& part, std::int32_t& total) {
  std::size_t i = at + 1;
  if (read_number(s, i, part) && read_word(s, i, "/") && read_number(s, i, total)) return true;
  if (s[at] == '[') return false;
  i = at + 1;
  if (!read_number(s, i, part)) return false;
  while (i < s.size() && is_space(s[i])) ++i;
  if (!read_word(s, i, "of")) return false;
  while (i < s.size() && is_space(s[i])) ++i;
  return read_number(s, i, total);
}

void key_and_part(const std::string& field, std::string& key, std::int32_t& part,
                  std::int32_t& total) {
  for (std::size_t at = field.size(); at-- > 0;) {
    if ((field[at] == '(' || field[at] == '[') && counter_at(field, at, part, total)) {
      key = field.substr(0, at);
      return;
    }
  }
  key = field;
  part = 1;
  total = 1;
}

// "begin ", one to four octal digits, one blank, a name with something but blanks in it.
bool real_begin_line(const std::string& s) {
  if (!s.starts_with("begin ")) return false;
  std::size_t digits = 0;
  while (6 + digits < s.size() && s[6 + digits] >= '0' && s[6 + digits] <= '7') ++digits;
  if (digits < 1 || digits > 4) return false;
  const std::size_t blank = 6 + digits;
  if (blank >= s.size() || s[blank] != ' ') return false;
  for (std::size_t i = blank + 1; i < s.size(); ++i) {
    if (s[i] != ' ') return true;
  }
  return false;
}

bool continues_header(const std::string& s) {
  if (s.empty() || (s[0] != ' ' && s[0] != '\t')) return false;
  return s.find_first_not_of(" \t") != std::string::npos;
}

}  // namespace

void ScanFile(Catalogue& catalogue, const std::string& path) {
  dispatch::BusyCallback(kBusyScanning, -1, 0, "%s", path.c_str());
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<TextLine> lines = lines_of(bytes);

  OutputFileRecord* record = nullptr;
  SegmentRecord* segment = nullptr;
  bool subject_seen = false;
  auto take_over = [&](AddedSegment added, std::uint64_t until) {
    if (segment != nullptr) segment->end_offset = until;
    record = added.record;
    segment = added.segment;
  };

  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) dispatch::BusyPoll();
    const std::string& text = lines[i].text;
    const std::uint64_t after = i == 0 ? 0 : lines[i].end;
    if (text.starts_with("Subject: ")) {
      std::string field = text.substr(8);
      while (i + 1 < lines.size() && continues_header(lines[i + 1].text)) {
        ++i;
        dispatch::BusyPoll();
        const std::string& more = lines[i].text;
        field += " " + more.substr(more.find_first_not_of(" \t"));
      }
      field = field.substr(0, kLineCapacity);
      std::string key;
      std::int32_t part = 1;
      std::int32_t total = 1;
      key_and_part(field, key, part, total);
      take_over(uulist_add_sement(catalogue, path, key, part, total, after), after);
      subject_seen = true;
    } else if (text.starts_with("begin ")) {
      if (!real_begin_line(text)) continue;
      if (!subject_seen) {
        take_over(uulist_add_uu_segment(catalogue, path, text, lines[i].start), after);
      } else if (record->kind != kKindYEnc && !uuIsDuplicateSegment(*record, *segment)) {
        uulist_note_uu_begin(record, segment, text);
      }
    } else if (text.starts_with("=ybegin ")) {
      if (!subject_seen) {
        take_over(uulist_add_named_segment(catalogue, path, text, lines[i].start), after);
      }
      uulist_set_yenc_destname(record, segment, text);
    } else if (text.starts_with("=ypart ") || text.starts_with("=yend ")) {
      // Lost its "=ybegin " line: data from the start of the file.
      if (!subject_seen && segment == nullptr) {
        take_over(uulist_add_named_segment(catalogue, path, text, 0), after);
      }
      if (text.starts_with("=ypart ")) {
        uulist_set_yenc_part(record, segment, text);
      } else {
        uulist_set_yenc_end(record, segment, text);
      }
    }
  }
  if (segment != nullptr) segment->end_offset = bytes.size();
}

}  // namespace vantorelle::reference
