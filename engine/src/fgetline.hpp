// fgetline.hpp - the plain line reader over a stdio stream, kept as the reference.
//
// Byte by byte, exactly the line rule that InputFile implements fast (see
// input_file.hpp). Tests compare the two.
#pragma once

#include <cstdio>
#include <span>

namespace vantorelle {

// Reads one line into buffer, keeping at most buffer.size() - 1 characters and
// a NUL after them. Always returns 1; the end of the input shows in feof().
int fgetline(std::FILE* stream, std::span<char> buffer);

}  // namespace vantorelle
