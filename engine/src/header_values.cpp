// header_values.cpp - hexadecimal, decimal and trimmed values of header lines.
#include "header_values.hpp"

namespace vantorelle {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::uint32_t hextoulong(std::string_view text) {
  if (text.size() > 2 && text[0] == '0' && lower(text[1]) == 'x' && hex_digit(text[2]) >= 0) {
    text.remove_prefix(2);
  }
  std::uint32_t value = 0;
  for (char c : text) {
    const int digit = hex_digit(c);
    if (digit < 0) break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

void strtrim(std::string& text) {
  std::size_t first = 0;
  while (first < text.size() && is_space(text[first])) ++first;
  std::size_t last = text.size();
  while (last > first && is_space(text[last - 1])) --last;
  text = text.substr(first, last - first);
}

std::int64_t decimal_value64(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Unsigned arithmetic wraps instead of overflowing on absurdly long numbers.
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint64_t>(text[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int64_t>(value);
}

std::int32_t decimal_value(std::string_view text) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(decimal_value64(text)));
}

std::size_t find_key(std::string_view line, std::string_view key) {
  if (key.size() > line.size()) return std::string_view::npos;
  for (std::size_t at = 0; at + key.size() <= line.size(); ++at) {
    std::size_t i = 0;
    while (i < key.size() && lower(line[at + i]) == lower(key[i])) ++i;
    if (i == key.size()) return at;
  }
  return std::string_view::npos;
}

bool find_value(std::string_view line, std::string_view key, std::string_view& value) {
  const std::size_t at = find_key(line, key);
  if (at == std::string_view::npos) return false;
  value = line.substr(at + key.size());
  return true;
}

bool is_uu_begin_line(std::string_view line) {
  if (!line.starts_with("begin ")) return false;
  std::size_t i = 6;
  while (i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '7') ++i;
  if (i == 6 || i >= line.size() || line[i] != ' ') return false;
  return line.find_first_not_of(' ', i + 1) != std::string_view::npos;
}

std::string_view ybegin_fields(std::string_view line) {
  return line.substr(0, find_key(line, " name="));
}

}  // namespace vantorelle
