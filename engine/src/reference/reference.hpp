// reference.hpp - the plain scanner and decoders, kept to check the fast ones against.
//
// Line by line through InputFile::read_line, every byte through the obvious
// loop, both CRC registers through crcadd on the stored table. Built into the
// tests only; the engine runs the versions in scanner.cpp, uu_decoder.cpp and
// yenc_decoder.cpp, which must give the same bytes, positions, results and
// messages.
#pragma once

#include <cstdint>
#include <string>

#include "input_file.hpp"
#include "output_file.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle::reference {

void ScanFile(Catalogue& catalogue, const std::string& path);

int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless = false);

int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc);

}  // namespace vantorelle::reference
