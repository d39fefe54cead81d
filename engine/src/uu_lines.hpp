// uu_lines.hpp - what a uuencoded line is: its count, the lengths it may have, its kind.
//
// A data line is a count character (count n = (byte - 32) AND 63) and
// ceil(n / 3) groups of four characters. Encoders write all of them; the last
// group's unused characters carry nothing, so a line that lacks only those
// loses no byte. "Blank-style" encoders write a space for the value 0, and
// news software may strip trailing blanks: such a line is shorter than its
// count says yet complete, its missing characters being blanks.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantorelle::uu {

inline int count_of(char first) { return (static_cast<unsigned char>(first) - 32) & 63; }

// The characters a line of count n is written with, and the fewest that
// still carry all of its bytes.
inline std::size_t encoded_length(std::size_t n) { return 1 + 4 * ((n + 2) / 3); }
inline std::size_t needed_length(std::size_t n) {
  return 1 + 4 * (n / 3) + (n % 3 == 0 ? 0 : n % 3 + 1);
}

inline bool is_end_line(std::string_view line) { return line.starts_with("end"); }

// A full line: 'M' (45 bytes) and exactly 61 characters.
inline bool is_full_line(std::string_view line) { return line.size() == 61 && line[0] == 'M'; }

// The zero-length line that ends the data: a blank or a grave accent, once or twice.
inline bool is_terminator(std::string_view line) {
  return !line.empty() && line.size() <= 2 && (line[0] == ' ' || line[0] == '`');
}

// Whether no character after the first lies in 'a'..DEL.
bool is_clean(std::string_view line);

// A short candidate: count 1 to 44, not longer than its encoded length plus
// 3, clean.
bool is_short_candidate(std::string_view line);

// Whether every character after the first is one an encoder writes (' ' to '`').
bool in_alphabet(std::string_view line);

// Whether the length fits the count: 61 for 'M', else from the characters
// the bytes need to the encoded length plus 3. A line of that shape with
// characters outside the alphabet is a data line that was damaged.
bool fits_its_count(std::string_view line);

// Whether the line starts as data and runs on into text: a data line cut
// short and joined to the next article's first line. Either at least eight
// characters of the alphabet come first, then something no encoder writes,
// or the text that follows the data is a header field ("From: ").
bool is_joined_data(std::string_view line);

// Whether the line holds every character its bytes need.
inline bool is_whole(std::string_view line) {
  return !line.empty() && line.size() >= needed_length(static_cast<std::size_t>(count_of(line[0])));
}

// How an encoder wrote the value 0, as far as a line shows it.
enum class ZeroStyle { kUnknown, kBlank, kGrave };
ZeroStyle zero_style(std::string_view line);

}  // namespace vantorelle::uu
