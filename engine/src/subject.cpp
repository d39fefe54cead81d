// subject.cpp - subject keys and part counters of "Subject: " lines.
//
// A counter is tried at the rightmost bracket of its kind first; when it does
// not read there, the text is cut at that bracket and the next bracket to the
// left is tried. Counters are read as sscanf reads "(%d/%d)", "[%d/%d]" and
// "(%d of %d)": numbers may have leading white space and a sign, a blank in the
// format matches any run of white space, other characters must match exactly,
// and nothing after the second number is looked at. A counter with a negative
// number, or one above 2147483647, does not read: no part is numbered below 0.
#include "subject.hpp"

namespace vantorelle {
namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads a %d at text[i]; advances i past it.
bool read_int(std::string_view text, std::size_t& i, std::int32_t& value) {
  while (i < text.size() && is_space(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t digits = i;
  std::uint64_t v = 0;
  bool too_large = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10u + static_cast<std::uint64_t>(text[i] - '0');
    too_large = too_large || v > 0x7FFFFFFFu;
    if (too_large) v = 0;
  }
  if (i == digits || too_large || (negative && v != 0)) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool read_literal(std::string_view text, std::size_t& i, std::string_view literal) {
  if (text.substr(i, literal.size()) != literal) return false;
  i += literal.size();
  return true;
}

void skip_spaces(std::string_view text, std::size_t& i) {
  while (i < text.size() && is_space(text[i])) ++i;
}

// "<open>%d<separator>%d" from the bracket on.
bool read_slash_counter(std::string_view text, char open, std::int32_t& part,
                        std::int32_t& total) {
  std::size_t i = 0;
  return read_literal(text, i, std::string_view(&open, 1)) && read_int(text, i, part) &&
         read_literal(text, i, "/") && read_int(text, i, total);
}

// "(%d of %d)" from the bracket on.
bool read_of_counter(std::string_view text, std::int32_t& part, std::int32_t& total) {
  std::size_t i = 0;
  if (!read_literal(text, i, "(") || !read_int(text, i, part)) return false;
  skip_spaces(text, i);
  if (!read_literal(text, i, "of")) return false;
  skip_spaces(text, i);
  return read_int(text, i, total);
}

enum class Counter { kParenSlash, kBracketSlash, kParenOf };

// Where the rightmost counter of this form stands in the subject (npos when
// there is none), with its numbers.
std::size_t find_counter(std::string_view subject, Counter counter, std::int32_t& part,
                         std::int32_t& total) {
  const char bracket = counter == Counter::kBracketSlash ? '[' : '(';
  std::string_view copy = subject;
  for (;;) {
    const std::size_t at = copy.rfind(bracket);
    if (at == std::string_view::npos) return at;
    const std::string_view rest = copy.substr(at);
    const bool read = counter == Counter::kParenOf
                          ? read_of_counter(rest, part, total)
                          : rest.find('/') != std::string_view::npos &&
                                read_slash_counter(rest, bracket, part, total);
    if (read) return at;
    copy = copy.substr(0, at);
  }
}

int scan_counter(std::string_view subject, Counter counter, std::string& key,
                 std::int32_t& part, std::int32_t& total) {
  std::int32_t p = 0;
  std::int32_t t = 0;
  const std::size_t at = find_counter(subject, counter, p, t);
  if (at == std::string_view::npos) return 0;
  key.assign(subject.substr(0, at));
  part = p;
  total = t;
  return 1;
}

}  // namespace

int _scan_1(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total) {
  return scan_counter(subject, Counter::kParenSlash, key, part, total);
}

int _scan_2(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total) {
  return scan_counter(subject, Counter::kBracketSlash, key, part, total);
}

int _scan_3(std::string_view subject, std::string& key, std::int32_t& part, std::int32_t& total) {
  return scan_counter(subject, Counter::kParenOf, key, part, total);
}

int _scan_00(std::string_view subject, std::string& key, std::int32_t& part,
             std::int32_t& total) {
  key.assign(subject);
  part = 1;
  total = 1;
  return 1;
}

void scan_subject(std::string_view subject, std::string& key, std::int32_t& part,
                  std::int32_t& total) {
  // A set counter often stands left of the part counter ("[01/15] - pic.jpg
  // (2 of 4)"): the rightmost counter, whatever its form, is the part's.
  std::size_t best = std::string_view::npos;
  for (const Counter form : {Counter::kParenSlash, Counter::kBracketSlash, Counter::kParenOf}) {
    std::int32_t p = 0;
    std::int32_t t = 0;
    const std::size_t at = find_counter(subject, form, p, t);
    if (at != std::string_view::npos && (best == std::string_view::npos || at > best)) {
      best = at;
      part = p;
      total = t;
    }
  }
  if (best == std::string_view::npos) {
    _scan_00(subject, key, part, total);
  } else {
    key.assign(subject.substr(0, best));
  }
}

}  // namespace vantorelle
