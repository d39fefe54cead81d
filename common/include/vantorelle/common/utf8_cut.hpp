// utf8_cut.hpp - cutting a text on a UTF-8 character boundary.
//
// One rule for every cut: a cut that falls inside a UTF-8 sequence moves to
// that sequence's start (or, cutting from the front, past its end). A
// sequence is at most four bytes, so at most three continuation bytes are
// passed; when the cut is still on a continuation byte the text is not UTF-8
// there, and it is cut where it fell, as plain bytes.
#pragma once

#include <cstddef>
#include <string_view>

namespace vantorelle::common {

bool IsUtf8Continuation(char c);

// The largest cut position <= `at` that does not split a character (see
// above); text.size() when `at` is past the end.
std::size_t CharacterStartAtOrBefore(std::string_view text, std::size_t at);

// The smallest cut position >= `at` that does not split a character;
// text.size() when `at` is past the end.
std::size_t CharacterStartAtOrAfter(std::string_view text, std::size_t at);

// At most `limit` bytes from the front of `text`, never ending inside a
// character; the whole text when it fits.
std::string_view CutToLimit(std::string_view text, std::size_t limit);

}  // namespace vantorelle::common
