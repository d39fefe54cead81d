// reference_uu_decoder.cpp - the uuencode segment decoder, stated plainly over a list of the segment's lines.
//
// The segment is read into a list first, so that every look at a later line
// is an index into it, and each rule below is one plain test over the list.
// Bytes come from a plain bit reader. It shares no code with uu_decoder.cpp
// beyond the line reader, the begin-line test and the message helpers, so a
// fault in the fast decoder's line tests or its decoding shows as a
// difference.
//
// The rules: after the header block (up to the first empty line) and, when
// the segment has a begin line, after that line, the data starts at a full
// line ('M', 61 characters, no lower case), at a short line that the next
// line closes (terminator, end line, or an empty line before the end line),
// or at an 'M' line of another length that a full line follows. From there
// full lines are written, the last short line is written when the
// terminator or the end line comes, and every line that could have been
// data but is dropped is reported as damaged.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "decoders.hpp"
#include "hooks.hpp"
#include "reference.hpp"

namespace vantorelle::reference {
namespace {

struct Line {
  std::string text;
  std::uint64_t start;
  std::uint64_t after;
  bool broke;  // ended by a line break, not by the end of the input
};

unsigned value_of(char c) { return (static_cast<unsigned>(static_cast<unsigned char>(c)) + 64u - 32u) % 64u; }
std::size_t count(const std::string& t) { return t.empty() ? 0 : value_of(t[0]); }
bool lower_case_free(const std::string& t) {
  for (std::size_t i = 1; i < t.size(); ++i) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (c >= 'a' && c <= 0x7F) return false;
  }
  return true;
}
bool full(const std::string& t) { return t.size() == 61 && t[0] == 'M'; }
// "begin", a blank, a mode of one to four octal digits, a blank and a name that is not all blanks.
bool begin_line(const std::string& t) {
  const std::size_t mode_end = t.find(' ', 6);
  if (t.compare(0, 6, "begin ") != 0 || mode_end == std::string::npos) return false;
  const std::string mode = t.substr(6, mode_end - 6);
  if (mode.empty() || mode.size() > 4 || mode.find_first_not_of("01234567") != std::string::npos) return false;
  return t.find_first_not_of(' ', mode_end) != std::string::npos;
}
bool end_line(const std::string& t) { return t.starts_with("end"); }
bool bare_end(const std::string& t) {
  return end_line(t) && t.find_first_not_of(' ', 3) == std::string::npos;
}
bool blank_or_grave(char c) { return c == ' ' || c == '`'; }
bool terminator(const std::string& t) { return (t.size() == 1 || t.size() == 2) && blank_or_grave(t[0]); }
// The characters an encoder writes for count n, and the fewest that hold n bytes.
std::size_t written_length(std::size_t n) { return 1 + 4 * ((n + 2) / 3); }
std::size_t holding_length(std::size_t n) { return 1 + (4 * n + 2) / 3; }
// Every character after the first one that an encoder writes.
bool in_alphabet(const std::string& t) {
  for (std::size_t i = 1; i < t.size(); ++i) {
    const auto c = static_cast<unsigned char>(t[i]);
    if (c < 0x20 || c > 0x60) return false;
  }
  return true;
}
bool short_candidate(const std::string& t);
// A length that fits the count: 61 for 'M', else from what the bytes need to
// what an encoder writes plus 3.
bool fits(const std::string& t) {
  if (t.empty() || t[0] < '!' || t[0] > 'M') return false;
  if (t[0] == 'M') return t.size() == 61;
  return t.size() >= 1 + (4 * count(t) + 2) / 3 && t.size() <= 1 + 4 * ((count(t) + 2) / 3) + 3;
}
// Data cut short and joined to text: eight or more characters of the
// alphabet, then one that is not.
bool joined(const std::string& t) {
  const std::size_t end = t.find_first_not_of(
      " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`", 1);
  if (end == std::string::npos) return false;
  if (end >= 9) return true;
  // Or a header field ("From: ") follows the data, not as the end of a
  // hyphenated name ("MIME-Version: "): a hyphen after letters and digits.
  const std::string word_chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-";
  if (end < 2 || (end > 2 && t[end - 2] == '-' && t.find_first_not_of(word_chars) >= end - 2)) return false;
  const std::size_t name = end - 1;
  if (t[name] < 'A' || t[name] > 'Z') return false;
  const std::size_t colon = t.find_first_not_of(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-", name + 1);
  return colon != std::string::npos && t.compare(colon, 2, ": ") == 0;
}
bool short_candidate(const std::string& t) {
  return !t.empty() && t[0] >= '!' && t[0] <= 'L' && t.size() <= written_length(count(t)) + 3 &&
         lower_case_free(t);
}

// Bytes from the characters after the first, six bits each, missing ones 0.
std::vector<unsigned char> bytes_of(const std::string& t) {
  const std::size_t n = count(t);
  std::vector<unsigned char> out;
  unsigned bits = 0;
  int held = 0;
  for (std::size_t pos = 1; out.size() < n; ++pos) {
    bits = (bits << 6) | (pos < t.size() ? value_of(t[pos]) : 0u);
    held += 6;
    if (held >= 8) {
      held -= 8;
      out.push_back(static_cast<unsigned char>(bits >> held));
      bits &= (1u << held) - 1u;
    }
  }
  return out;
}

enum class Style { kUnknown, kBlank, kGrave };

class Segment {
 public:
  Segment(InputFile& input, OutputFile& output, std::uint64_t end, bool last, bool numbered,
          DamagedLines& damaged)
      : input_(input), output_(output), end_(end), last_(last), numbered_(numbered), damaged_(damaged) {}

  int decode(std::uint64_t start, bool headerless) {
    input_.seek(start);
    if (!headerless) {
      for (;;) {
        const std::string_view line = input_.read_line();
        if (input_.eof()) return kDecodeEarlyEof;
        if (line.empty()) break;
      }
    }
    while (input_.position() <= end_) {
      const std::uint64_t at = input_.position();
      std::string text(input_.read_line());
      if (input_.eof()) break;
      lines_.push_back({std::move(text), at, input_.position(), input_.line_had_break()});
    }
    return search();
  }

 private:
  bool in_segment(std::size_t i) const { return i < lines_.size() && lines_[i].after <= end_; }
  const std::string& text(std::size_t i) const { return lines_[i].text; }

  bool closes_after(std::size_t i) const {
    const std::size_t j = i + 1;
    if (!in_segment(j)) return false;
    if (end_line(text(j))) return true;
    if (text(j).empty()) return in_segment(j + 1) && end_line(text(j + 1));
    return text(j).size() <= 3 && blank_or_grave(text(j)[0]);
  }

  // A part before the last whose data ends after line i: the segment ends,
  // or an empty line and no data after it.
  bool part_ends_after(std::size_t i) const {
    if (last_) return false;
    for (std::size_t j = i + 1; in_segment(j); ++j) {
      const std::string& t = text(j);
      if (looks_like_data(t) || (full(t) && lower_case_free(t)) || short_candidate(t)) return false;
    }
    return true;
  }

  static bool looks_like_data(const std::string& t) {
    return fits(t) || (t.size() >= 2 && t[0] == 'M' && lower_case_free(t)) || long_short(t) ||
           (!t.empty() && t[0] >= '!' && t[0] <= 'M' && joined(t));
  }
  // A full line's length after a short line's count: the count was damaged.
  static bool long_short(const std::string& t) {
    return t.size() == 61 && t[0] >= '!' && t[0] <= 'L' && lower_case_free(t);
  }

  int search() {
    std::optional<std::size_t> begin;
    for (std::size_t i = 0; i < lines_.size() && !begin; ++i) {
      if (begin_line(text(i))) begin = i;
    }
    bool data_like_before = false;
    std::vector<std::size_t> passed_over;
    for (std::size_t i = begin ? *begin + 1 : 0; i < lines_.size(); ++i) {
      const std::string& t = text(i);
      const bool m_line = (!t.empty() && t[0] == 'M' && (lower_case_free(t) || t.size() == 61)) ||
                          long_short(t);
      const bool short_line = !t.empty() && t[0] >= '!' && t[0] <= 'L' && (short_candidate(t) || fits(t));
      if (full(t) && lower_case_free(t)) return body(i);
      // Only a line that can be data closes it, unless right after the begin line.
      const bool can_be_data = fits(t) || (!t.empty() && t.back() != ' ' && 2 * t.size() >= holding_length(count(t)));
      if (short_line && (can_be_data || (begin && i == *begin + 1)) && (closes_after(i) || part_ends_after(i))) {
        return body(i);
      }
      // A full line whose trailing blanks were stripped: at least 31 characters, no blank at its end.
      const auto stripped_m = [](const std::string& n) {
        return !n.empty() && n[0] == 'M' && n.size() < 61 && lower_case_free(n) && n.back() != ' ' && 2 * n.size() >= 61;
      };
      const bool data_follows = in_segment(i + 1) && (full(text(i + 1)) || stripped_m(text(i + 1)) || closes_after(i) ||
                                                       (short_candidate(text(i + 1)) && (closes_after(i + 1) || part_ends_after(i + 1))));
      // Right after the begin line an 'M' line is data.
      const bool first_after_begin = begin && i == *begin + 1;
      if (m_line && (first_after_begin || data_follows || (can_be_data && part_ends_after(i)))) return body(i);
      const bool before_end = terminator(t) || t.empty();
      if (!data_like_before && (bare_end(t) || (before_end && in_segment(i + 1) && end_line(text(i + 1))))) {
        return kDecodeOk;
      }
      if (looks_like_data(t)) {
        data_like_before = true;
        passed_over.push_back(i);
      }
    }
    if (last_) return kDecodeEarlyEof;
    // A part of the data (not a description, part 0) without a single
    // uuencode line (an empty one may be a stripped blank terminator) lost
    // everything after its header.
    const auto is_uu_line = [](const Line& l) {
      return terminator(l.text) || l.text.empty() || end_line(l.text);
    };
    const bool uu_line =
        begin || !passed_over.empty() || std::any_of(lines_.begin(), lines_.end(), is_uu_line);
    if (numbered_ && !uu_line) return kDecodeEarlyEof;
    // A part before the last without data: what looked like data was its data.
    for (const std::size_t i : passed_over) damaged(i);
    return kDecodeOk;
  }

  Style style_from(std::size_t b) const {
    for (std::size_t i = b; i < b + 128; ++i) {
      if (!in_segment(i) || end_line(text(i))) break;
      const std::string& t = text(i);
      if (terminator(t)) return t[0] == ' ' ? Style::kBlank : Style::kGrave;
      if (t.empty()) return in_segment(i + 1) && end_line(text(i + 1)) ? Style::kBlank : Style::kUnknown;
      if (full(t) || (fits(t) && in_alphabet(t))) {
        if (t.find('`', 1) != std::string::npos) return Style::kGrave;
        if (t.find(' ', 1) != std::string::npos) return Style::kBlank;
      }
    }
    return Style::kUnknown;
  }

  // Not known to write grave accents for 0: by the data, or when the data
  // does not show it, by the line itself.
  bool blank_style(std::size_t i) const {
    if (style_ != Style::kUnknown || text(i).size() == 1) return style_ == Style::kBlank;
    return text(i).find('`', 1) == std::string::npos;
  }
  bool restorable(std::size_t i) const {
    const std::string& t = text(i);
    // Without its break a line lacking more than two characters was cut, not stripped.
    if (!lines_[i].broke && t.size() + 2 < holding_length(count(t))) return false;
    // Nor in a part before the last: its data goes on in the next part.
    if (!lines_[i].broke && !last_) return false;
    return blank_style(i) && !t.empty() && t.back() != ' ' && lower_case_free(t);
  }
  bool usable(std::size_t i) const {
    const std::string& t = text(i);
    return in_alphabet(t) && ((!t.empty() && t.size() >= holding_length(count(t))) || restorable(i));
  }
  // Data with characters no encoder writes.
  bool damaged_data(std::size_t i) const { return fits(text(i)) && !in_alphabet(text(i)); }

  // The number of the line starting at this byte: one more than the line
  // breaks before it, a CR LF counting once.
  std::uint64_t line_number(std::uint64_t at) {
    if (content_.empty()) {
      std::ifstream in(input_.path(), std::ios::binary);
      content_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      content_ += '\n';  // never empty once read
    }
    std::uint64_t breaks = 0;
    for (std::uint64_t k = 0; k < at && k + 1 < content_.size(); ++k) {
      if (content_[k] == '\r' || (content_[k] == '\n' && (k == 0 || content_[k - 1] != '\r'))) ++breaks;
    }
    return breaks + 1;
  }
  void damaged(std::size_t i) { damaged_.report(line_number(lines_[i].start), input_.path()); }

  bool write(const std::string& t) {
    const std::vector<unsigned char> b = bytes_of(t);
    return output_.write(b.data(), b.size());
  }

  void drop_held() {
    if (held_ && (usable(*held_) || damaged_data(*held_))) damaged(*held_);
    held_.reset();
  }

  // Without a terminator a held line that can be data is the last data line;
  // one that cannot is no data, unless it began the body.
  bool write_usable_held() {
    if (held_ && (*held_ == body_start_ || damaged_data(*held_))) return write_held();
    if (!held_ || !usable(*held_)) {
      held_.reset();
      return true;
    }
    const std::size_t h = *held_;
    held_.reset();
    return write(text(h));
  }

  // The held line as the last data line: written, or reported when it
  // cannot be used.
  bool write_held() {
    if (!held_) return true;
    const std::size_t h = *held_;
    held_.reset();
    if (usable(h)) return write(text(h));
    damaged(h);
    return true;
  }

  int terminate() {
    if (garbage_ > 0 && last_) dispatch::MsgCallback(kLevelNote, "Warning: garbage at end.");
    if (shorts_ > 1 && last_) dispatch::MsgCallback(kLevelError, "Ambiguous data at end.");
    if (!write_held()) return kDecodeWriteFailed;
    if (shorts_ == 0 && last_) dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    return kDecodeOk;
  }

  int data_ended() {
    if (!write_usable_held()) return kDecodeWriteFailed;
    if (last_) dispatch::MsgCallback(kLevelError, "'end' of uucode not found.");
    if (shorts_ == 0 && last_) dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    return kDecodeOk;
  }

  int cut_off() {
    // A line the end of the file cut in a part before the last was data.
    if (!last_ && held_ && !lines_[*held_].broke && !usable(*held_)) {
      damaged(*held_);
      held_.reset();
    }
    if (!write_usable_held()) return kDecodeWriteFailed;
    return last_ ? kDecodeEarlyEof : kDecodeOk;
  }

  // Whether the empty line i stands for lost data: a data line follows.
  bool lost_line_at(std::size_t i) const {
    const std::size_t j = i + 1;
    const std::string& t = text(j);
    if (full(t) || (!t.empty() && t[0] == 'M' && t.size() < 61 && restorable(j))) return true;
    return short_candidate(t) && t.size() >= holding_length(count(t)) && closes_after(j);
  }

  int body(std::size_t b) {
    body_start_ = b;
    style_ = style_from(b);
    for (std::size_t i = b;; ++i) {
      if (!in_segment(i)) return cut_off();
      const std::string& t = text(i);
      if (t.empty()) {
        if (!in_segment(i + 1)) return data_ended();
        if (end_line(text(i + 1))) return terminate();
        if (!lost_line_at(i)) return data_ended();
        damaged(i);
        continue;
      }
      if (begin_line(t)) return data_ended();
      if (end_line(t) || terminator(t)) return terminate();
      if (t[0] >= '!' && t[0] <= 'L') {
        if (!short_candidate(t) && !fits(t)) {
          if (lower_case_free(t) || joined(t)) {
            damaged(i);
          } else if (held_) {
            ++garbage_;
          }
        } else if (held_ && usable(*held_) && !usable(i)) {
          ++garbage_;
          if (damaged_data(i)) damaged(i);
        } else {
          drop_held();
          held_ = i;
          ++shorts_;
        }
      } else if (t[0] == 'M') {
        if (t.size() == 61 || (t.size() < 61 && restorable(i))) {
          if (!write(t)) return kDecodeWriteFailed;
          if (!in_alphabet(t)) damaged(i);
          drop_held();
          shorts_ = 0;
          garbage_ = 0;
        } else if (lower_case_free(t) || joined(t)) {
          damaged(i);
        }
      }
      if (lines_[i].after >= end_) return cut_off();
    }
  }

  InputFile& input_;
  OutputFile& output_;
  std::uint64_t end_;
  bool last_;
  bool numbered_;
  DamagedLines& damaged_;
  std::vector<Line> lines_;
  std::string content_;
  Style style_ = Style::kUnknown;
  std::size_t body_start_ = 0;
  std::optional<std::size_t> held_;
  int shorts_ = 0;
  int garbage_ = 0;
};

}  // namespace

int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless, DamagedLines* damaged) {
  DamagedLines own(input.path());
  DamagedLines& lines = damaged != nullptr ? *damaged : own;
  const unsigned errors = input.read_errors();
  int result = Segment(input, output, end_position, part == total, part >= 1, lines).decode(start_offset, headerless);
  if (input.read_errors() != errors) result = report_read_error(input, result);
  if (damaged == nullptr) own.report_count();
  return result;
}

}  // namespace vantorelle::reference
