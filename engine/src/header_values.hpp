// header_values.hpp - reading numbers and names out of encoded-data header lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantorelle {

// Hexadecimal digits from the first character on, up to the first non-digit;
// no prefix, no sign, no leading blanks; the last eight digits count.
std::uint32_t hextoulong(std::string_view text);

// Removes white space (blank, tab, LF, VT, FF, CR) from both ends, in place.
void strtrim(std::string& text);

// A decimal value read as atol reads it: leading white space, an optional
// sign, digits up to the first other character; no digits give 0. The value
// wraps to 32 bits as the catalogue's fields do.
std::int32_t decimal_value(std::string_view text);

// The text after the first occurrence of key in line, or nothing when the
// key does not occur.
bool find_value(std::string_view line, std::string_view key, std::string_view& value);

}  // namespace vantorelle
