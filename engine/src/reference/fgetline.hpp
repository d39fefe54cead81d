// fgetline.hpp - the plain line reader over a stdio stream, kept as the reference.
//
// Byte by byte, exactly the line rule that InputFile implements fast (see
// input_file.hpp). Tests compare the two.
#pragma once

#include <cstdio>
#include <span>

namespace vantorelle {

// Reads one line into buffer, keeping at most buffer.size() - 1 characters and
// a NUL after them. Returns 1 when a line was read (a last line without its
// break included), 0 when no byte was left or the stream reported an error.
int fgetline(std::FILE* stream, std::span<char> buffer);

}  // namespace vantorelle
