// fgetline.cpp - the plain line reader over a stdio stream, kept as the reference.
#include "fgetline.hpp"

namespace vantorelle {

int fgetline(std::FILE* stream, std::span<char> buffer) {
  const std::size_t capacity = buffer.empty() ? 0 : buffer.size() - 1;
  std::size_t stored = 0;
  bool any = false;
  int c;
  while ((c = std::getc(stream)) != EOF && c != '\r' && c != '\n') {
    any = true;
    if (stored < capacity) buffer[stored++] = static_cast<char>(c);
  }
  if (c != EOF) any = true;
  if (c == '\r') {
    const int next = std::getc(stream);
    if (next == EOF) {
      if (std::ferror(stream)) any = false;
      std::clearerr(stream);  // looking for the LF of a CR LF is not meeting the end
    } else if (next != '\n') {
      std::ungetc(next, stream);
    }
  }
  if (!buffer.empty()) buffer[stored] = '\0';
  return any && !std::ferror(stream) ? 1 : 0;
}

}  // namespace vantorelle
