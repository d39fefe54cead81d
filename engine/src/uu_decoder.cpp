// uu_decoder.cpp - decodes one uuencoded segment: header, search and body phases.
//
// Header phase: skip lines up to the first empty one. Search phase: the first
// full or short candidate starts the data; a short first line is checked
// against the line after it. Body phase: full lines are written at once; a
// short line is held until a terminator, an end line, an empty line or a begin
// line shows it was the last; a later full line discards it.
//
// Speed: in the body phase, runs of full lines are decoded from the input
// buffer straight into the output buffer (uu_kernel.hpp), with the effects
// that reading them one by one would have; every other line goes the plain way.
#include <algorithm>
#include <array>
#include <cstring>

#include "decoders.hpp"
#include "empty_lines.hpp"
#include "hooks.hpp"
#include "run_control.hpp"
#include "uu_kernel.hpp"

namespace vantorelle {
namespace {

constexpr std::size_t kMaxLineBytes = 63;

int count_of(char first) { return (static_cast<unsigned char>(first) - 32) & 63; }

bool is_terminator_start(char c) { return c == ' ' || c == '`'; }

bool is_full_line(std::string_view line) { return line.size() == 61 && line[0] == 'M'; }

bool is_begin_line(std::string_view line) {
  if (line.size() < 9 || line.substr(0, 6) != "begin ") return false;
  for (std::size_t i = 6; i < 9; ++i) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return true;
}

bool is_end_line(std::string_view line) { return line.substr(0, 3) == "end"; }

bool is_short_candidate(std::string_view line) {
  if (line.empty() || line[0] < '!' || line[0] > 'L') return false;
  const std::size_t n = static_cast<std::size_t>(count_of(line[0]));
  return line.size() <= 4 * ((n + 2) / 3) + 4 && uuchk(line);
}

bool is_full_candidate(std::string_view line) { return is_full_line(line) && uuchk(line); }

// A line kept back in the body phase until it is known to be the last.
class HeldLine {
 public:
  bool empty() const { return !held_; }
  void hold(std::string_view line) {
    length_ = line.size();
    std::memcpy(text_.data(), line.data(), length_);
    held_ = true;
  }
  void discard() { held_ = false; }
  // Writes the held line, if any; false when the write failed.
  bool write(OutputFile& output) {
    if (!held_) return true;
    held_ = false;
    return ExplodeLine(output, std::string_view(text_.data(), length_)) == 1;
  }

 private:
  std::array<char, kLineCapacity> text_{};
  std::size_t length_ = 0;
  bool held_ = false;
};

class UuSegment {
 public:
  UuSegment(InputFile& input, OutputFile& output, std::uint64_t end, bool last)
      : input_(input), output_(output), end_(end), last_(last) {}

  int decode(std::uint64_t start, bool headerless) {
    input_.seek(start);
    if (headerless) return search();
    std::string_view line;
    if (!read(line)) return kDecodeEarlyEof;
    if (!line.empty() &&
        !EmptyLineIndexFor(input_).skip_to_empty_line(input_, input_.position())) {
      return kDecodeEarlyEof;
    }
    return search();
  }

 private:
  bool read(std::string_view& line) {
    line = input_.read_line();
    return !input_.eof();
  }

  // After a short first line, a terminator line (1 to 3 bytes) followed by
  // an end line closes the data; otherwise the next read is the line after
  // the terminator again. (Not before any data: a body whose every line was
  // rejected must not pass for a complete one.)
  bool terminator_then_end(std::string_view line) {
    if (line.empty() || line.size() > 3 || !is_terminator_start(line[0])) return false;
    const std::uint64_t after = input_.position();
    std::string_view next;
    if (read(next) && is_end_line(next)) return true;
    input_.seek(after);
    return false;
  }

  int search() {
    for (;;) {
      if (input_.position() > end_) return kDecodeOk;
      std::string_view line;
      if (!read(line)) return kDecodeEarlyEof;
      if (!check_line(line)) continue;
      if (!ExplodeLine(output_, line)) return kDecodeWriteFailed;
      if (is_full_line(line)) return body();
      // A short first line: the data ends here only if a terminator follows.
      const std::uint64_t next_start = input_.position();
      std::string_view next;
      if (!read(next)) return kDecodeEarlyEof;
      // The peek for an end line moves the reader, so judge the line first.
      const bool two_or_three = next.size() >= 2 && next.size() <= 3 && is_terminator_start(next[0]);
      if (terminator_then_end(next)) return kDecodeOk;
      if (two_or_three) continue;
      dispatch::MsgCallback(kLevelNote, "Warning: garbage at end.");
      input_.seek(next_start);  // read that line again
    }
  }

  int body() {
    HeldLine held;
    int short_count = 0;
    int garbage_count = 0;
    bool end_seen = false;
    for (;;) {
      if (decode_full_lines()) {
        held.discard();
        short_count = 0;
        garbage_count = 0;
      }
      if (dispatch::PollDecoding(input_.position())) return kDecodeStopped;
      std::string_view line;
      if (!read(line)) return kDecodeEarlyEof;
      if (input_.position() > end_) return kDecodeOk;
      if (line.empty() || is_begin_line(line)) {
        if (!held.write(output_)) return kDecodeWriteFailed;
        closing_checks(end_seen, short_count);
        return kDecodeOk;
      }
      const char first = line[0];
      if (is_end_line(line)) {
        if (!held.write(output_)) return kDecodeWriteFailed;
        end_seen = true;
      } else if (first >= '!' && first <= 'L') {
        if (is_short_candidate(line)) {
          held.hold(line);
          ++short_count;
        } else if (!held.empty()) {
          ++garbage_count;
        }
        continue;  // no position test after these
      } else if (is_terminator_start(first) && line.size() <= 2) {
        return terminate(held, short_count, garbage_count);
      } else if (is_full_line(line)) {
        if (!ExplodeLine(output_, line)) return kDecodeWriteFailed;
        held.discard();
        short_count = 0;
        garbage_count = 0;
      } else if (first == 'M' && uuchk(line)) {
        dispatch::MsgCallback(kLevelNote, "Warning: truncated data line.");
      }
      if (input_.position() >= end_) return kDecodeOk;
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

  int terminate(HeldLine& held, int short_count, int garbage_count) {
    if (garbage_count > 0 && last_) dispatch::MsgCallback(kLevelNote, "Warning: garbage at end.");
    if (short_count > 1 && last_) dispatch::MsgCallback(kLevelError, "Ambiguous data at end.");
    if (!held.write(output_)) return kDecodeWriteFailed;
    if (short_count == 0 && last_) {
      dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    }
    return kDecodeOk;
  }

  void closing_checks(bool end_seen, int short_count) {
    if (!end_seen && last_) dispatch::MsgCallback(kLevelError, "'end' of uucode not found.");
    if (short_count == 0 && last_) {
      dispatch::MsgCallback(kLevelNote, "Warning: no short data line.");
    }
  }

  InputFile& input_;
  OutputFile& output_;
  std::uint64_t end_;
  bool last_;
};

}  // namespace

bool uuchk(std::string_view line) {
  for (std::size_t i = 1; i < line.size(); ++i) {
    const auto c = static_cast<signed char>(line[i]);
    if (c >= 0x61) return false;  // 'a' to DEL; bytes above 0x7F compare negative
  }
  return true;
}

int check_line(std::string_view line) {
  return is_full_candidate(line) || is_short_candidate(line) ? 1 : 0;
}

int ExplodeLine(OutputFile& output, std::string_view line) {
  if (line.empty()) return 1;
  const std::size_t n = static_cast<std::size_t>(count_of(line[0]));
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
             bool headerless) {
  return UuSegment(input, output, end_position, part == total).decode(start_offset, headerless);
}

}  // namespace vantorelle
