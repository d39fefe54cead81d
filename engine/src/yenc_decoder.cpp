// yenc_decoder.cpp - decodes one yEnc segment and checks its part CRC-32.
//
// Every character of a data line is a byte plus 42 (modulo 256); '=' escapes
// the next character, which then carries a further 64. The part register runs
// over this call's bytes; the whole-file register belongs to the record.
//
// A data line is decoded whole, however long; the line reader's cut applies
// to the header lines only. Nothing is decoded past the segment's end, so a
// part without its "=yend " line never runs on through the parts after it.
//
// Speed: runs of ordinary data lines are decoded from the input buffer
// straight into the output buffer (yenc_kernel.hpp); the line-by-line path
// takes the rest. Both registers are derived from one CRC pass over the
// decoded bytes, made in large blocks while they are still in the output
// buffer (crc32_fast.hpp); the result equals crcadd over every byte. Where
// a worker writes the output, it makes that pass just before each write and
// the caller tests the part once it has (DeferredCrc).
#include <array>

#include "crc32.hpp"
#include "crc32_fast.hpp"
#include "decoders.hpp"
#include "header_values.hpp"
#include "line_scan.hpp"
#include "run_control.hpp"
#include "yenc_kernel.hpp"

namespace vantorelle {
namespace {

std::string_view up_to_nul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

// Decodes a data line given in pieces: an escape may end one piece and the
// character it escapes begin the next; an '=' at the end of the line gives nothing.
class LineBytes {
 public:
  std::size_t decode(std::string_view text, unsigned char* bytes) {
    std::size_t n = 0;
    for (const char ch : text) {
      unsigned c = static_cast<unsigned char>(ch);
      if (escape_) {
        escape_ = false;
        c -= 64u;
      } else if (c == '=') {
        escape_ = true;
        continue;
      }
      bytes[n++] = static_cast<unsigned char>(c - 42u);
    }
    return n;
  }

 private:
  bool escape_ = false;
};

// The CRC of the part's bytes, taken from the output buffer before they leave
// it. `mark` is where the bytes not yet counted begin in output.buffered().
// Where the output counts them behind, nothing is counted here.
class PartCrc {
 public:
  static constexpr std::size_t kBlock = 64 * 1024;  // stays in the cache

  PartCrc(const OutputFile& output, bool behind) : mark_(output.buffered().size()), behind_(behind) {}

  // Counts buffered bytes once a block has gathered.
  void catch_up(const OutputFile& output, bool all = false) {
    if (behind_) return;
    const auto held = output.buffered();
    if (held.size() - mark_ >= (all ? 1 : kBlock)) {
      add(held.data() + mark_, held.size() - mark_);
      mark_ = held.size();
    }
  }
  void add(const unsigned char* data, std::size_t size) {
    if (behind_) return;
    reg_ = crc_update(reg_, data, size);
    length_ += size;
  }
  // The buffer may have been flushed: count again from its end.
  void restart(const OutputFile& output) { mark_ = output.buffered().size(); }

  // The part register; *file_crc is advanced over the same bytes.
  std::uint32_t finish(const OutputFile& output, std::uint32_t* file_crc) {
    catch_up(output, true);
    if (file_crc != nullptr && length_ != 0) {
      *file_crc = crc_shift(*file_crc ^ kCrcPreset, length_) ^ reg_;
    }
    return reg_;
  }

 private:
  std::size_t mark_;
  const bool behind_;
  std::uint32_t reg_ = kCrcPreset;
  std::uint64_t length_ = 0;
};

// Writes decoded bytes, counting them for both registers first.
bool put(OutputFile& output, PartCrc& crc, const unsigned char* bytes, std::size_t n) {
  crc.catch_up(output, true);
  crc.add(bytes, n);
  const bool written = output.write(bytes, n);
  crc.restart(output);
  return written;
}

void drain_line(InputFile& input) {
  for (bool ended = false; !ended;) input.read_line_piece(ended);
}

// A line longer than the line reader keeps is decoded whole: its text (up to
// a NUL) after the first kLineCapacity characters, piece by piece. A failed
// write does not stop it: the whole line is counted, as a line decoded in one
// go would be. Whether every write succeeded.
bool decode_rest_of_line(InputFile& input, OutputFile& output, PartCrc& crc, LineBytes& line,
                         unsigned char* bytes) {
  bool written = true;
  bool ended = false;
  while (!ended) {
    std::string_view piece = input.read_line_piece(ended);
    const std::string_view text = up_to_nul(piece);
    for (std::size_t at = 0; at < text.size(); at += kLineCapacity) {
      const std::size_t n = line.decode(text.substr(at, kLineCapacity), bytes);
      written = put(output, crc, bytes, n) && written;
    }
    if (text.size() != piece.size()) {
      if (!ended) drain_line(input);
      break;
    }
  }
  return written;
}

// The "size=" of an "=yend " line, or -1.
std::int64_t yend_size_of(std::string_view line) {
  std::string_view value;
  return find_value(line, "size=", value) ? decimal_value64(value) : -1;
}

// Decodes data lines up to "=yend " or the segment's end (a line that
// starts there is not data); the result when the part ends first.
int decode_data(InputFile& input, OutputFile& output, std::uint64_t end, PartCrc& crc,
                bool& end_seen, std::int64_t& yend_size, bool& yend_found) {
  std::array<unsigned char, kLineCapacity> bytes;
  for (;;) {
    for (;;) {
      const std::uint64_t position = input.position();
      const std::string_view block = input.buffered();
      const auto room = output.spare();
      if (position >= end || room.size() < kYencLineRoom) break;
      const std::size_t limit =
          static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), end - position));
      const DecodedLines run = yenc_decode_lines(block.data(), limit, room.data(), room.size());
      if (run.consumed == 0) break;
      input.consume(run.consumed);
      output.commit(run.produced);
      crc.catch_up(output);
    }
    if (input.position() >= end) return kDecodeOk;
    if (dispatch::PollDecoding(input.position())) return kDecodeStopped;
    bool cut = false;
    const std::string_view head = input.read_line_head(cut);
    if (input.eof()) return kDecodeOk;
    const std::string_view text = up_to_nul(head);
    if (text.starts_with("=yend ")) {
      yend_size = yend_size_of(text);
      yend_found = true;
      if (cut) drain_line(input);
      end_seen = !input.eof();
      return kDecodeOk;
    }
    LineBytes line;
    bool written = put(output, crc, bytes.data(), line.decode(text, bytes.data()));
    if (cut && text.size() != head.size()) drain_line(input);
    if (cut && text.size() == head.size()) {
      written = decode_rest_of_line(input, output, crc, line, bytes.data()) && written;
    }
    if (!written) return kDecodeWriteFailed;
    if (input.eof()) return kDecodeOk;  // a read error inside a long line
  }
}

// Whether the segment holds an "=ypart " line before any "=yend " line from
// here on; the input is left after it when it does.
bool skip_to_part_line(InputFile& input, std::uint64_t end) {
  const std::uint64_t from = input.position();
  for (;;) {
    const std::string_view block = input.buffered();
    input.consume(skip_plain_lines(block.data(), block.size()).consumed);
    if (input.position() >= end) break;
    const std::string_view line = input.read_line();
    if (input.eof() || line.starts_with("=yend ")) break;
    if (line.starts_with("=ypart ")) return true;
  }
  input.seek(from);
  return false;
}

int decode_part(InputFile& input, OutputFile& output, std::uint64_t start_offset,
                std::uint64_t end_position, std::uint32_t expected_part_crc,
                std::uint32_t* file_crc, std::int64_t& yend_size, bool& cut_short,
                DeferredCrc* deferred) {
  input.seek(start_offset);

  std::string_view line;
  for (;;) {
    line = input.read_line();
    if (input.eof()) return kDecodeOk;
    if (line.starts_with("=ybegin ")) break;
    if (input.position() > end_position) return kDecodeOk;
  }
  // "part=" inside the file name does not make a part. Without its "=ypart "
  // line the part is decoded from the line after "=ybegin ", without a range.
  if (find_key(ybegin_fields(line), "part=") != std::string_view::npos) {
    skip_to_part_line(input, end_position);
  }
  PartCrc crc(output, deferred != nullptr);
  bool end_seen = false;
  bool yend_found = false;
  const int result = decode_data(input, output, end_position, crc, end_seen, yend_size, yend_found);
  cut_short = !yend_found;
  const bool check = result == kDecodeOk && end_seen && expected_part_crc != kNoCrc;
  if (deferred != nullptr) {
    deferred->check = check;
    return result;
  }
  const std::uint32_t part_crc = crc.finish(output, file_crc);
  if (!check) return result;
  return ~part_crc == expected_part_crc ? kDecodeOk : kDecodeCrcMismatch;
}

}  // namespace

int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc, std::int64_t* yend_size, bool* cut_short,
               DeferredCrc* deferred) {
  std::int64_t size = -1;
  bool cut = false;
  const unsigned errors = input.read_errors();
  if (deferred != nullptr && !output.crc_is_behind()) deferred = nullptr;
  if (deferred != nullptr) *deferred = {output.crc_mark(), false};
  int result = decode_part(input, output, start_offset, end_position, expected_part_crc,
                           file_crc, size, cut, deferred);
  if (yend_size != nullptr) *yend_size = size;
  if (cut_short != nullptr) *cut_short = cut;
  if (input.read_errors() != errors) {
    if (deferred != nullptr) deferred->check = false;  // as the test is then never made
    result = report_read_error(input, result);
    if (result == kDecodeEarlyEof) result = kDecodeOk;  // a part cut short, as without "=yend "
  }
  return result;
}

}  // namespace vantorelle
