// decoders.hpp - the uuencode and yEnc segment decoders.
//
// Each decodes one segment of an input file (between a start offset and an end
// position found by the scanner) and appends its bytes to the open output.
// Both start with their own seek; the input's position afterwards is unspecified.
#pragma once

#include <cstdint>
#include <string_view>

#include "input_file.hpp"
#include "output_file.hpp"

namespace vantorelle {

// uuencode. Skips the article's header block (up to the first empty line;
// not for a headerless segment, which has none), takes the first line that
// looks like data as its start; a short first line followed by a terminator
// and an end line is the whole body. From there it classifies each line by
// first byte, length and characters. A short line is held back
// until the following lines show whether it was the last data line. Reports
// irregularities through the message hook; those about the end of the data
// only when part == total. Returns kDecodeOk, kDecodeWriteFailed or
// kDecodeEarlyEof, or kDecodeStopped when a poll inside the part saw a stop.
int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless = false);

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
// " name="), decodes up to "=yend ". Data lines are decoded whole however long
// they are; one over kLineCapacity characters that runs into the end of the
// input keeps its bytes, a shorter one is dropped as the line reader's rule says. Every
// byte advances the part register and *file_crc. Returns kDecodeOk,
// kDecodeWriteFailed or kDecodeCrcMismatch (only when expected_part_crc is not
// kNoCrc), or kDecodeStopped as DecodeUU; the end of the input gives
// kDecodeOk without a CRC test.
int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc);

}  // namespace vantorelle
