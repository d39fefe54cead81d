// utf8_cut.cpp - cutting a text on a UTF-8 character boundary.
#include "vantorelle/common/utf8_cut.hpp"

namespace vantorelle::common {
namespace {

// Continuation bytes a well-formed sequence can have after its lead byte.
constexpr int kMaxContinuationBytes = 3;

}  // namespace

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U; }

std::size_t CharacterStartAtOrBefore(std::string_view text, std::size_t at) {
  if (at >= text.size()) return text.size();
  std::size_t cut = at;
  for (int i = 0; i < kMaxContinuationBytes && cut > 0 && IsUtf8Continuation(text[cut]); ++i) --cut;
  return IsUtf8Continuation(text[cut]) ? at : cut;
}

std::size_t CharacterStartAtOrAfter(std::string_view text, std::size_t at) {
  if (at >= text.size()) return text.size();
  std::size_t cut = at;
  for (int i = 0; i < kMaxContinuationBytes && cut < text.size() && IsUtf8Continuation(text[cut]); ++i) ++cut;
  return cut < text.size() && IsUtf8Continuation(text[cut]) ? at : cut;
}

std::string_view CutToLimit(std::string_view text, std::size_t limit) {
  return text.substr(0, CharacterStartAtOrBefore(text, limit));
}

}  // namespace vantorelle::common
