// crc32.hpp - the CRC-32 step over the stored table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vantorelle {

// Entry i: i shifted right eight times, XOR-ing 0xEDB88320 whenever a 1 falls out.
extern const std::array<std::uint32_t, 256> crc_tab;

// Advances the register by one byte.
inline void crcadd(std::uint32_t* reg, unsigned char byte) {
  *reg = (*reg >> 8) ^ crc_tab[(*reg ^ byte) & 0xFFu];
}

// Advances the register by every byte of a block, as crcadd does one by one.
inline void crcadd_block(std::uint32_t* reg, const unsigned char* data, std::size_t size) {
  std::uint32_t r = *reg;
  for (std::size_t i = 0; i < size; ++i) r = (r >> 8) ^ crc_tab[(r ^ data[i]) & 0xFFu];
  *reg = r;
}

}  // namespace vantorelle
