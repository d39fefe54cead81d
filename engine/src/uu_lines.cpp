// uu_lines.cpp - what a uuencoded line is: cleanliness, short candidates, the value-0 style.
#include "uu_lines.hpp"

#include <algorithm>

namespace vantorelle::uu {

bool is_clean(std::string_view line) {
  for (std::size_t i = 1; i < line.size(); ++i) {
    const auto c = static_cast<signed char>(line[i]);
    if (c >= 0x61) return false;  // 'a' to DEL; bytes above 0x7F compare negative
  }
  return true;
}

bool is_short_candidate(std::string_view line) {
  if (line.empty() || line[0] < '!' || line[0] > 'L') return false;
  const std::size_t n = static_cast<std::size_t>(count_of(line[0]));
  return line.size() <= encoded_length(n) + 3 && is_clean(line);
}

bool in_alphabet(std::string_view line) {
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] < ' ' || line[i] > '`') return false;  // bytes above 0x7F compare negative
  }
  return true;
}

bool fits_its_count(std::string_view line) {
  if (line.empty() || line[0] < '!' || line[0] > 'M') return false;
  if (line[0] == 'M') return line.size() == 61;
  const std::size_t n = static_cast<std::size_t>(count_of(line[0]));
  return line.size() >= needed_length(n) && line.size() <= encoded_length(n) + 3;
}

namespace {

bool is_upper(char c) { return c >= 'A' && c <= 'Z'; }
bool is_name_character(char c) {
  return is_upper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

// Whether a header field name and ": " start at `at`.
bool header_field_at(std::string_view line, std::size_t at) {
  if (at >= line.size() || !is_upper(line[at])) return false;
  std::size_t i = at + 1;
  while (i < line.size() && is_name_character(line[i])) ++i;
  return line.substr(i).starts_with(": ");
}

}  // namespace

bool is_joined_data(std::string_view line) {
  constexpr std::size_t kDataBefore = 8;
  std::size_t i = 1;
  while (i < line.size() && line[i] >= ' ' && line[i] <= '`') ++i;
  if (i == line.size()) return false;
  if (i > kDataBefore) return true;
  // The field's name begins with the capital before the first lower-case
  // letter, and not after a hyphen that ends a word ("MIME-Version: "
  // is one name, "5M!4S-From: " data and a name).
  const bool after_word = i > 2 && line[i - 2] == '-' &&
                          std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(i - 2),
                                      [](char c) { return is_name_character(c); });
  return i >= 2 && !after_word && header_field_at(line, i - 1);
}

ZeroStyle zero_style(std::string_view line) {
  bool blank = false;
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '`') return ZeroStyle::kGrave;
    blank = blank || line[i] == ' ';
  }
  return blank ? ZeroStyle::kBlank : ZeroStyle::kUnknown;
}

}  // namespace vantorelle::uu
