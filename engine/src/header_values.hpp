// header_values.hpp - reading numbers and names out of encoded-data header lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorelle {

// Hexadecimal digits from the first character on, up to the first non-digit,
// after an optional "0x" or "0X" (posters write CRCs both ways); no sign, no
// leading blanks; the last eight digits count.
std::uint32_t hextoulong(std::string_view text);

// Removes white space (blank, tab, LF, VT, FF, CR) from both ends, in place.
void strtrim(std::string& text);

// A decimal value read as atol reads it: leading white space, an optional
// sign, digits up to the first other character; no digits give 0. The value
// wraps to 32 bits as the catalogue's fields do.
std::int32_t decimal_value(std::string_view text);

// The same reading for sizes and byte positions, which may pass 2 GiB; wraps
// to 64 bits.
std::int64_t decimal_value64(std::string_view text);

// Where key first occurs in line, letters compared without regard to case
// (posters write "CRC32=" as well as "crc32="); npos when it does not.
std::size_t find_key(std::string_view line, std::string_view key);

// The text after the first occurrence of key in line (as find_key finds it),
// or nothing when the key does not occur.
bool find_value(std::string_view line, std::string_view key, std::string_view& value);

// Whether the line is a uuencode header as encoders write it: "begin ", a
// mode of one to four octal digits, one blank and a name that is not blank.
// ("begin again next week" in a signature is not one.)
bool is_uu_begin_line(std::string_view line);

// The fields of a "=ybegin " line before its " name=" (any case): the name runs to the end
// of the line, so whatever looks like a key inside it is part of the name.
std::string_view ybegin_fields(std::string_view line);

}  // namespace vantorelle
