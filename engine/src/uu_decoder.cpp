// uu_decoder.cpp - decodes one uuencoded segment: header, search and body phases.
//
// Header phase: skip lines up to the first empty one. Search phase: in a
// segment with a begin line the data comes after it, and nothing before it is
// written. A full line starts the data; a short line starts it only when the
// line after it shows it is a whole body (the terminator, or the end line),
// an 'M' line of the wrong length only when data follows it (a full line, or
// the last short line), or the part's data ends after either in a part
// before the last. Separator
// and title lines before the data are thus never written. Body phase: full
// lines are written at once; a short line is held until the terminator or the
// end line shows it was the last. A data line that has to be dropped, or
// whose characters cannot be trusted (some no encoder writes, or data cut
// short and joined to the next article), is reported as damaged; one that
// lacks only trailing blanks stripped in transit (from an encoder that
// writes a blank for the value 0) is decoded as it stands, its missing
// characters counting as blanks.
//
// Speed: in the body phase, runs of full lines are decoded from the input
// buffer straight into the output buffer (uu_kernel.hpp), with the effects
// that reading them one by one would have; every other line goes the plain way.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "decoders.hpp"
#include "empty_lines.hpp"
#include "header_values.hpp"
#include "hooks.hpp"
#include "line_scan.hpp"
#include "run_control.hpp"
#include "uu_kernel.hpp"
#include "uu_lines.hpp"

namespace vantorelle {
namespace {

using uu::ZeroStyle;

constexpr std::size_t kMaxLineBytes = 63;
// Lines looked at from the start of the data to learn how it writes the value 0.
constexpr int kStyleLines = 128;

bool is_full_candidate(std::string_view line) { return uu::is_full_line(line) && uu::is_clean(line); }

bool is_short_start(char c) { return c >= '!' && c <= 'L'; }

// "end" and nothing but blanks after it: the end line of an empty file.
bool is_bare_end_line(std::string_view line) {
  return uu::is_end_line(line) && line.find_first_not_of(' ', 3) == std::string_view::npos;
}

// A line kept back in the body phase until it is known to be the last.
class HeldLine {
 public:
  bool empty() const { return !held_; }
  std::string_view text() const { return {text_.data(), length_}; }
  std::uint64_t start() const { return start_; }
  bool had_break() const { return had_break_; }
  void hold(std::string_view line, std::uint64_t start, bool had_break) {
    length_ = line.size();
    std::memcpy(text_.data(), line.data(), length_);
    start_ = start;
    had_break_ = had_break;
    held_ = true;
  }
  void clear() { held_ = false; }

 private:
  std::array<char, kLineCapacity> text_{};
  std::size_t length_ = 0;
  std::uint64_t start_ = 0;
  bool had_break_ = false;
  bool held_ = false;
};

// What an empty line in the body stands for, told by the lines after it.
enum class EmptyLine { kTerminator, kLostDataLine, kDataEnded };

class UuSegment {
 public:
  // last: the binary's last part; numbered: a part of the data (numbered
  // from 1), not a description posted as part 0.
  UuSegment(InputFile& input, OutputFile& output, std::uint64_t end, bool last, bool numbered,
            DamagedLines& damaged)
      : input_(input),
        output_(output),
        end_(end),
        last_(last),
        numbered_(numbered),
        damaged_(damaged) {}

  int decode(std::uint64_t start, bool headerless, bool no_begin_line) {
    input_.seek(start);
    if (!headerless) {
      const std::string_view line = input_.read_line();
      if (input_.eof()) return kDecodeEarlyEof;
      if (!line.empty() &&
          !EmptyLineIndexFor(input_).skip_to_empty_line(input_, input_.position())) {
        return kDecodeEarlyEof;
      }
    }
    return search(input_.position(), no_begin_line);
  }

 private:
  // The line that starts at `from`, when it ends within the segment; the
  // input is left after it. The view lasts until the next read or seek.
  std::optional<std::string_view> line_at(std::uint64_t from) {
    input_.seek(from);
    const std::string_view line = input_.read_line();
    if (input_.eof() || input_.position() > end_) return std::nullopt;
    return line;
  }

  bool next_is(std::uint64_t from, bool (*test)(std::string_view)) {
    const auto next = line_at(from);
    return next && test(*next);
  }

  // Where the line after the segment's first begin line starts, if it has
  // one (`none`: the scanner met none in it).
  std::optional<std::uint64_t> after_begin_line(std::uint64_t from, bool none) {
    if (none) return std::nullopt;
    input_.seek(from);
    for (;;) {
      const std::string_view block = input_.buffered();
      input_.consume(skip_plain_lines(block.data(), block.size()).consumed);
      if (input_.position() > end_) return std::nullopt;
      const std::string_view line = input_.read_line();
      if (input_.eof()) return std::nullopt;
      if (is_uu_begin_line(line)) return input_.position();
    }
  }

  // After a short line: whether the next line ends the data (a terminator,
  // also one of three characters, the end line, or an empty line standing for
  // a stripped blank terminator before the end line).
  bool ends_after(std::uint64_t from) {
    const auto next = line_at(from);
    if (!next) return false;
    if (uu::is_end_line(*next)) return true;
    if (!next->empty()) return next->size() <= 3 && ((*next)[0] == ' ' || (*next)[0] == '`');
    const auto after = line_at(input_.position());
    return after && uu::is_end_line(*after);
  }

  // Whether the next line is a short line that ends the data (or, in a part
  // before the last, the part's data).
  bool last_line_follows(std::uint64_t from) {
    const auto next = line_at(from);
    if (!next || !uu::is_short_candidate(*next)) return false;
    const std::uint64_t after = input_.position();
    return ends_after(after) || part_ends_after(after);
  }

  // In a part before the last, whether nothing after this line in the
  // segment looks like data: the line was the part's last data line.
  bool part_ends_after(std::uint64_t from) {
    if (last_) return false;
    for (std::optional<std::string_view> next; (next = line_at(from)); from = input_.position()) {
      if (looks_like_data(*next) || is_full_candidate(*next) || uu::is_short_candidate(*next)) {
        return false;
      }
    }
    return true;
  }

  // A line that could be data, whole or damaged: its length fits its count,
  // or it is an 'M' line that is no text.
  static bool looks_like_data(std::string_view line) {
    return uu::fits_its_count(line) || (line.size() >= 2 && line[0] == 'M' && uu::is_clean(line)) ||
           full_length_clean(line) || (is_data_start(line) && uu::is_joined_data(line));
  }
  static bool is_data_start(std::string_view line) {
    return !line.empty() && line[0] >= '!' && line[0] <= 'M';
  }
  // Whether the line can be data: its length fits its count, or at most
  // half of the characters its bytes need are missing (stripped blanks), and
  // it does not end in a blank.
  static bool plausible(std::string_view line) {
    const std::size_t needed = uu::needed_length(static_cast<std::size_t>(uu::count_of(line[0])));
    return uu::fits_its_count(line) || (line.back() != ' ' && 2 * line.size() >= needed);
  }

  // An 'M' line that lost at most half of its characters, none of them
  // blanks at its end: a full line whose trailing blanks were stripped.
  static bool stripped_full(std::string_view line) {
    return !line.empty() && line[0] == 'M' && line.size() < 61 && uu::is_clean(line) && plausible(line);
  }

  // 61 characters of data with another count than 'M's.
  static bool full_length_clean(std::string_view line) {
    return line.size() == 61 && is_short_start(line[0]) && uu::is_clean(line);
  }

  int search(std::uint64_t from, bool no_begin_line) {
    const std::optional<std::uint64_t> data_from = after_begin_line(from, no_begin_line);
    input_.seek(data_from.value_or(from));
    encoded_seen_ = data_from.has_value();
    bool skipped_data_like = false;  // a line passed over that may have been damaged data
    for (;;) {
      const std::uint64_t start = input_.position();
      if (start > end_) return no_data();
      const std::string_view line = input_.read_line();
      if (input_.eof()) return no_data();
      const std::uint64_t after = input_.position();
      if (is_full_candidate(line)) return body(start);
      // The peeks below move the reader: judge the line first.
      const bool short_line = !line.empty() && is_short_start(line[0]) &&
                              (uu::is_short_candidate(line) || uu::fits_its_count(line));
      // An 'M' line of another length, or a full line whose count was damaged.
      const bool odd_full = (!line.empty() && line[0] == 'M' &&
                             (uu::is_clean(line) || line.size() == 61)) ||
                            full_length_clean(line);
      const bool bare_end = is_bare_end_line(line);
      const bool before_end = uu::is_terminator(line) || line.empty();
      const bool data_like = looks_like_data(line);
      const bool after_begin = data_from && start == *data_from;
      // A short line that closes the data must be one that can be data (not
      // a separator line such as "=====" before a part's end), unless it
      // comes right after the begin line.
      if (short_line) {
        if ((plausible(line) || after_begin) && (ends_after(after) || part_ends_after(after))) {
          return body(start);
        }
      }
      // Right after the begin line an 'M' line is data, its blanks stripped
      // or not.
      if (odd_full && (after_begin || next_is(after, uu::is_full_line) || next_is(after, stripped_full) || ends_after(after) ||
                       last_line_follows(after) || (plausible(line) && part_ends_after(after)))) {
        return body(start);
      }
      // No data: an empty file, or a last part that holds only the end of
      // the data (a terminator, perhaps stripped to nothing, and the end line).
      if (!skipped_data_like && (bare_end || (before_end && next_is(after, uu::is_end_line)))) {
        return kDecodeOk;
      }
      // An empty line may be a blank terminator whose blank was stripped.
      encoded_seen_ = encoded_seen_ || uu::is_end_line(line) || before_end;
      if (data_like) remember_skipped(start);
      skipped_data_like = skipped_data_like || data_like;
      input_.seek(after);
    }
  }

  void remember_skipped(std::uint64_t start) {
    if (skipped_.size() <= DamagedLines::kMaxListed) {
      skipped_.push_back(start);
    } else {
      ++skipped_beyond_;
    }
  }

  // No data line in the segment: for the last part the data's end is
  // missing, and a numbered part without a single uuencode line was cut
  // down to its header; in another part the lines that looked like data
  // were its data.
  int no_data() {
    if (last_) return kDecodeEarlyEof;
    if (numbered_ && !encoded_seen_ && skipped_.empty()) return kDecodeEarlyEof;
    for (const std::uint64_t start : skipped_) report_damaged(start);
    for (std::uint64_t i = 0; i < skipped_beyond_; ++i) damaged_.report(0, input_.path());
    return kDecodeOk;
  }

  // How the data writes the value 0: the first whole data line with a blank
  // or a grave accent in it tells, or the terminator.
  ZeroStyle style_from(std::uint64_t from) {
    input_.seek(from);
    for (int i = 0; i < kStyleLines; ++i) {
      const std::string_view line = input_.read_line();
      if (input_.eof() || input_.position() > end_ || uu::is_end_line(line)) break;
      if (uu::is_terminator(line)) return line[0] == ' ' ? ZeroStyle::kBlank : ZeroStyle::kGrave;
      if (line.empty()) {
        const std::string_view next = input_.read_line();
        if (!input_.eof() && input_.position() <= end_ && uu::is_end_line(next)) {
          return ZeroStyle::kBlank;  // the blank terminator, stripped
        }
        break;
      }
      if (uu::is_full_line(line) || (uu::fits_its_count(line) && uu::in_alphabet(line))) {
        const ZeroStyle style = uu::zero_style(line);
        if (style != ZeroStyle::kUnknown) return style;
      }
    }
    return ZeroStyle::kUnknown;
  }

  // A line shorter than its count says is whole once its missing characters
  // are taken for blanks, unless the encoder is known to write grave accents
  // (from the data or the line itself), and when the line does not end in a
  // blank (stripping leaves none). A last line without its break was cut
  // off rather than stripped when it lacks more than a blank or two, or in a
  // part before the last, whose data goes on in the next part.
  bool restorable(std::string_view line, bool had_break) const {
    if (line.empty() || line.back() == ' ' || !uu::is_clean(line)) return false;
    if (!had_break && !last_) return false;
    constexpr std::size_t kMostStrippedAtTheEnd = 2;
    const std::size_t needed = uu::needed_length(static_cast<std::size_t>(uu::count_of(line[0])));
    if (!had_break && needed > line.size() + kMostStrippedAtTheEnd) return false;
    // A line of the count alone could as well be stray text: only data
    // known to write blanks makes it one of zeros.
    if (line.size() == 1) return style_ == ZeroStyle::kBlank;
    const ZeroStyle style = style_ != ZeroStyle::kUnknown ? style_ : uu::zero_style(line);
    return style != ZeroStyle::kGrave;
  }
  bool usable(std::string_view line, bool had_break) const {
    return uu::in_alphabet(line) && (uu::is_whole(line) || restorable(line, had_break));
  }
  bool usable(const HeldLine& held) const { return usable(held.text(), held.had_break()); }
  // Whether a held line that cannot be used still was data: it fits its
  // count but has characters no encoder writes.
  bool damaged_data(const HeldLine& held) const {
    return uu::fits_its_count(held.text()) && !uu::in_alphabet(held.text());
  }

  void report_damaged(std::uint64_t start) {
    damaged_.report(input_.line_number_at(start), input_.path());
  }

  // A held line that turned out not to be the last data line: if it could
  // have been data, its bytes are lost.
  void drop_held(HeldLine& held) {
    if (!held.empty() && (usable(held) || damaged_data(held))) report_damaged(held.start());
    held.clear();
  }

  // The held line is the last data line; false when its write failed.
  bool write_held(HeldLine& held) {
    if (held.empty()) return true;
    held.clear();
    if (!usable(held)) {
      report_damaged(held.start());
      return true;
    }
    return ExplodeLine(output_, held.text()) == 1;
  }

  EmptyLine after_empty_line(std::uint64_t after) {
    const auto next = line_at(after);
    if (!next) return EmptyLine::kDataEnded;
    if (uu::is_end_line(*next)) return EmptyLine::kTerminator;
    if (uu::is_full_line(*next) ||
        (!next->empty() && (*next)[0] == 'M' && next->size() < 61 && restorable(*next, input_.line_had_break()))) {
      return EmptyLine::kLostDataLine;
    }
    if (uu::is_short_candidate(*next) && uu::is_whole(*next) && ends_after(input_.position())) {
      return EmptyLine::kLostDataLine;
    }
    return EmptyLine::kDataEnded;
  }

  struct Counts {
    int short_lines = 0;  // short candidates since the last full line
    int garbage = 0;      // rejected candidates seen while a line was held
  };

  int body(std::uint64_t from) {
    body_start_ = from;
    style_ = style_from(from);
    input_.seek(from);
    HeldLine held;
    Counts counts;
    for (;;) {
      if (decode_full_lines()) {
        drop_held(held);
        counts = Counts{};
      }
      if (dispatch::PollDecoding(input_.position())) return kDecodeStopped;
      const std::uint64_t start = input_.position();
      const std::string_view line = input_.read_line();
      if (input_.eof() || input_.position() > end_) return cut_off(held);
      const std::uint64_t after = input_.position();
      const bool had_break = input_.line_had_break();
      if (line.empty()) {
        switch (after_empty_line(after)) {
          case EmptyLine::kTerminator:
            return terminate(held, counts);
          case EmptyLine::kLostDataLine:
            report_damaged(start);
            input_.seek(after);
            continue;
          case EmptyLine::kDataEnded:
            return data_ended(held, counts);
        }
      }
      if (is_uu_begin_line(line)) return data_ended(held, counts);
      if (uu::is_end_line(line) || uu::is_terminator(line)) return terminate(held, counts);
      const char first = line[0];
      if (is_short_start(first)) {
        if (!uu::is_short_candidate(line) && !uu::fits_its_count(line)) {
          if (uu::is_clean(line) || uu::is_joined_data(line)) {
            report_damaged(start);  // longer than its count allows, or joined to text
          } else if (!held.empty()) {
            ++counts.garbage;
          }
        } else if (!held.empty() && usable(held) && !usable(line, had_break)) {
          ++counts.garbage;
          if (!uu::in_alphabet(line) && uu::fits_its_count(line)) report_damaged(start);
        } else {
          drop_held(held);
          held.hold(line, start, had_break);
          ++counts.short_lines;
        }
      } else if (first == 'M') {
        const bool whole =
            line.size() == 61 || (line.size() < 61 && restorable(line, had_break));
        if (whole) {
          if (!ExplodeLine(output_, line)) return kDecodeWriteFailed;
          if (!uu::in_alphabet(line)) report_damaged(start);  // its bytes cannot be trusted
          drop_held(held);
          counts = Counts{};
        } else if (uu::is_clean(line) || uu::is_joined_data(line)) {
          report_damaged(start);
        }
      }
      if (after >= end_) return cut_off(held);
    }
  }

  // Decodes the run of full lines that comes next, as long as each ends before
  // the segment's end position; whether there was any.
  bool decode_full_lines() {
    bool any = false;
    for (;;) {
      const std::uint64_t position = input_.position();
      const auto room = output_.spare();
      if (position >= end_ || room.size() < kUuLineRoom) return any;
      const std::string_view block = input_.buffered();
      const std::size_t limit = static_cast<std::size_t>(
          std::min<std::uint64_t>(block.size(), end_ - position));
      const DecodedLines run = uu_decode_full_lines(block.data(), limit, room.data(), room.size());
      if (run.consumed == 0) return any;
      input_.consume(run.consumed);
      output_.commit(run.produced);
      any = true;
    }
  }

  // The terminator or the end line.
  int terminate(HeldLine& held, const Counts& counts) {
    if (counts.garbage > 0 && last_) dispatch::MsgCallback(kLevelNote, "Warning: garbage at end.");
    if (counts.short_lines > 1 && last_) dispatch::MsgCallback(kLevelError, "Ambiguous data at end.");
    if (!write_held(held)) return kDecodeWriteFailed;
    if (counts.short_lines == 0 && last_) {
      dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    }
    return kDecodeOk;
  }

  // The data ends without a terminator: a held line that can be data is
  // taken for the last data line, anything else is not data, unless it was
  // the only line of the data.
  bool write_usable_held(HeldLine& held) {
    if (held.empty() || usable(held) || damaged_data(held) || held.start() == body_start_) {
      return write_held(held);
    }
    held.clear();
    return true;
  }

  // An empty line or a begin line ends the data without a terminator.
  int data_ended(HeldLine& held, const Counts& counts) {
    if (!write_usable_held(held)) return kDecodeWriteFailed;
    if (last_) dispatch::MsgCallback(kLevelError, "'end' of uucode not found.");
    if (counts.short_lines == 0 && last_) {
      dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    }
    return kDecodeOk;
  }

  // The segment or the input ends inside the data: for the last part the
  // data's end is missing. In a part before the last, a line the end of the
  // file cut was data.
  int cut_off(HeldLine& held) {
    if (!last_ && !held.empty() && !held.had_break() && !usable(held)) {
      report_damaged(held.start());
      held.clear();
    }
    if (!write_usable_held(held)) return kDecodeWriteFailed;
    return last_ ? kDecodeEarlyEof : kDecodeOk;
  }

  InputFile& input_;
  OutputFile& output_;
  std::uint64_t end_;
  bool last_;
  bool numbered_;
  DamagedLines& damaged_;
  ZeroStyle style_ = ZeroStyle::kUnknown;
  std::uint64_t body_start_ = 0;
  // Lines the search passed over that looked like data, and how many more.
  std::vector<std::uint64_t> skipped_;
  std::uint64_t skipped_beyond_ = 0;
  bool encoded_seen_ = false;  // a begin, terminator (or empty) or end line met by the search
};

}  // namespace

bool uuchk(std::string_view line) { return uu::is_clean(line); }

int check_line(std::string_view line) {
  return is_full_candidate(line) || uu::is_short_candidate(line) ? 1 : 0;
}

int ExplodeLine(OutputFile& output, std::string_view line) {
  if (line.empty()) return 1;
  const std::size_t n = static_cast<std::size_t>(uu::count_of(line[0]));
  auto value = [&](std::size_t pos) -> unsigned {
    return pos < line.size() ? (static_cast<unsigned char>(line[pos]) - 32u) & 63u : 0u;
  };
  std::array<unsigned char, kMaxLineBytes> bytes{};
  std::size_t produced = 0;
  for (std::size_t pos = 1; produced < n; pos += 4) {
    const unsigned w = value(pos), x = value(pos + 1), y = value(pos + 2), z = value(pos + 3);
    const unsigned char group[3] = {static_cast<unsigned char>(w * 4 + x / 16),
                                    static_cast<unsigned char>((x & 15) * 16 + y / 4),
                                    static_cast<unsigned char>((y & 3) * 64 + z)};
    for (unsigned char b : group) {
      if (produced < n) bytes[produced++] = b;
    }
  }
  return output.write(bytes.data(), n) ? 1 : 0;
}

int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless, DamagedLines* damaged, bool no_begin_line) {
  DamagedLines own(input.path());
  DamagedLines& lines = damaged != nullptr ? *damaged : own;
  const unsigned errors = input.read_errors();
  int result = UuSegment(input, output, end_position, part == total, part >= 1, lines)
                   .decode(start_offset, headerless, no_begin_line);
  if (input.read_errors() != errors) result = report_read_error(input, result);
  if (damaged == nullptr) own.report_count();
  return result;
}

int report_read_error(const InputFile& input, int result) {
  dispatch::MsgCallback(kLevelError, "Unable to read source file '%s'", input.path().c_str());
  return result == kDecodeWriteFailed ? result : kDecodeEarlyEof;
}

}  // namespace vantorelle
