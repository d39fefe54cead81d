// reference.hpp - the plain scanner and decoders, kept to check the fast ones against.
//
// Line by line through InputFile::read_line, every byte through the obvious
// loop, both CRC registers through crcadd on the stored table. Built into the
// tests only; the engine runs the versions in scanner.cpp, uu_decoder.cpp and
// yenc_decoder.cpp, which must give the same bytes, positions, results and
// messages, and the block kernels, which must give the same answers as the
// byte-by-byte ones here.
#pragma once

#include <cstdint>
#include <string>

#include "damaged_lines.hpp"
#include "input_file.hpp"
#include "line_scan.hpp"
#include "output_file.hpp"
#include "uu_kernel.hpp"
#include "vantorelle/engine.hpp"
#include "yenc_kernel.hpp"

namespace vantorelle::reference {

void ScanFile(Catalogue& catalogue, const std::string& path);

int DecodeUU(InputFile& input, OutputFile& output, std::uint64_t start_offset,
             std::uint64_t end_position, std::int16_t part, std::int16_t total,
             bool headerless = false, DamagedLines* damaged = nullptr);

int DecodeyEnc(InputFile& input, OutputFile& output, std::uint64_t start_offset,
               std::uint64_t end_position, std::uint32_t expected_part_crc,
               std::uint32_t* file_crc, std::int64_t* yend_size = nullptr);

// The block kernels of line_scan.hpp, yenc_kernel.hpp and uu_kernel.hpp, byte by byte.
const char* find_line_break(const char* data, std::size_t size);
SkippedLines skip_plain_lines(const char* data, std::size_t size);
DecodedLines yenc_decode_lines(const char* src, std::size_t size, unsigned char* dst,
                               std::size_t dst_size);
DecodedLines uu_decode_full_lines(const char* src, std::size_t limit, unsigned char* dst,
                                  std::size_t dst_size);

}  // namespace vantorelle::reference
