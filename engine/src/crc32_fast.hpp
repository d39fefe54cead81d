// crc32_fast.hpp - the CRC-32 register advanced over large blocks, and shifted over zeros.
//
// Same register, same results as crcadd_block over the stored table (crc32.hpp):
// the register is not complemented here; callers preset and complement it as
// yEnc asks. Large blocks go to a carry-less-multiply kernel when the processor
// has one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantorelle {

// The register after every byte of the block, as crcadd_block computes it.
std::uint32_t crc_update(std::uint32_t reg, const unsigned char* data, std::size_t size);

// The register after `length` zero bytes. Because each step is linear,
// crcadd over a block from register r equals crc_shift(r ^ s, n) ^ (the same
// from register s): one pass over the data serves any number of registers.
std::uint32_t crc_shift(std::uint32_t reg, std::uint64_t length);

// Whether the kernel crc_update() runs counts bytes still in the cache so
// fast (VPCLMULQDQ on AVX2 registers, about 20 GB/s) that the thread which
// just wrote them does better to count them than a worker that must fetch
// them from another core's cache.
bool crc_cheapest_where_written();

// Where yEnc's registers start; its CRCs are the register complemented.
inline constexpr std::uint32_t kCrcPreset = 0xFFFFFFFFu;

// The register over `length` bytes of a stream, from position `from` on,
// started at 0: pieces taken apart (on another thread) join with crc_shift.
struct CrcPiece {
  std::uint64_t from = 0;
  std::uint64_t length = 0;
  std::uint32_t reg = 0;
};

// Portable kernel over the stored table, sixteen bytes per step; exposed for tests.
std::uint32_t crc_update_portable(std::uint32_t reg, const unsigned char* data, std::size_t size);

#if defined(__x86_64__)
// PCLMULQDQ kernel; needs cpu_features().pclmul. Exposed for tests.
std::uint32_t crc_update_pclmul(std::uint32_t reg, const unsigned char* data, std::size_t size);
// VPCLMULQDQ kernel on AVX2 registers; needs cpu_features().vpclmul256. Exposed for tests.
std::uint32_t crc_update_vpclmul256(std::uint32_t reg, const unsigned char* data, std::size_t size);
// VPCLMULQDQ kernel on AVX-512 registers; needs cpu_features().vpclmul. Exposed for tests.
std::uint32_t crc_update_vpclmul(std::uint32_t reg, const unsigned char* data, std::size_t size);
#endif

}  // namespace vantorelle
