// decoders.hpp - the uuencode and yEnc segment decoders.
//
// Each decodes one segment of an input file (between a start offset and an end
// position found by the scanner) and appends its bytes to the open output.
// Both start with their own seek; the input's position afterwards is unspecified.
#pragma once

#include <cstdint>
#include <string_view>

#include "damaged_lines.hpp"
#include "input_file.hpp"
#include "output_file.hpp"

namespace vantorelle {

// uuencode. Skips the article's header block (up to the first empty line;
// not for a headerless segment, which has none). In a segment with a begin
// line the data comes after it (not looked for when the scanner found none). The first full line starts the data, a short
// line only when the terminator or the end line follows it (a one-line body).
// From there it classifies each line by first byte, length and characters; a
// short line is held back until the terminator or the end line shows it was
// the last data line. A data line that has to be dropped is reported through
// `damaged` (a count of its own when none is given); one that lacks only
// stripped trailing blanks is decoded as if they were there. Messages about
// the end of the data only when part == total. Returns kDecodeOk,
// kDecodeWriteFailed or kDecodeEarlyEof: the last part also when its data
// ends without the terminator or the end line, or no data is found. A read
// error is reported and cuts the segment short. kDecodeStopped when a poll
// inside the part saw a stop.
int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless = false, DamagedLines* damaged = nullptr, bool no_begin_line = false);

// Decodes one uuencoded line and writes its bytes; 1 when written, 0 when the
// write failed. Characters the line lacks count as the value 0.
int ExplodeLine(OutputFile& output, std::string_view line);

// Whether the line can start the data: a full line ('M', 61 characters) or a
// short one (count 1 to 44, not longer than its data needs plus 3), clean.
int check_line(std::string_view line);

// Whether no character after the first lies in 'a'..DEL.
bool uuchk(std::string_view line);

// yEnc. Finds the "=ybegin " line (within the segment), skips to the data past
// an "=ypart " line when the header names a part (a "part=" before its
// " name=") and the segment has one before any "=yend ", decodes up to
// "=yend ", and never past the segment's end: a part without its "=yend "
// stops there, cut short. Data lines are decoded whole however long they are;
// a last line without its break is a line like any other. Every byte
// advances the part register and *file_crc. Returns kDecodeOk,
// kDecodeWriteFailed or kDecodeCrcMismatch (only when expected_part_crc is
// not kNoCrc and the "=yend " line was reached); a part cut short gives
// kDecodeOk without a CRC test. *yend_size gets the "size=" of the "=yend "
// line, or -1 when there is none; *cut_short whether the part began but
// ended before its "=yend " line. A read error is reported and cuts the part
// short. kDecodeStopped as DecodeUU.
//
// Where the output takes the CRC behind (OutputFile::crc_is_behind()) and
// `deferred` is given, no register is advanced here and no CRC mismatch
// returned: `deferred` says where the part's bytes begin among those
// appended and whether its CRC is due for the test, which the caller makes
// once the worker has counted them.
struct DeferredCrc {
  std::uint64_t from = 0;
  bool check = false;
};
int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc, std::int64_t* yend_size = nullptr,
               bool* cut_short = nullptr, DeferredCrc* deferred = nullptr);

// Reports that the input could not be read ("Unable to read source file"),
// which cuts its segment short; the result the decoder returns then.
int report_read_error(const InputFile& input, int result);

}  // namespace vantorelle
