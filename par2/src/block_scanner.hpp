// block_scanner.hpp - one pass over a file finding the set's blocks in it, wherever they lie.
//
// A window of one slice slides over the file. At each position its CRC-32 is
// looked up among the set's blocks; a hit is confirmed by MD5, and the window
// then jumps a whole slice, so an intact file costs one CRC and one MD5 per
// block. Otherwise the window moves one byte, the CRC rolled on in constant
// time, so blocks shifted by inserted or lost bytes are still found. Past the
// end of the file the window reads zeros, as the set's last blocks are padded.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {

// The checksums of every block of the set that has them, by CRC-32.
class BlockIndex {
 public:
  BlockIndex(const RecoverySet& set);
  bool empty() const { return by_crc_.empty(); }
  // Blocks whose CRC-32 is `crc` (global indices), or nullptr.
  const std::vector<std::uint32_t>* with_crc(std::uint32_t crc) const;
  const BlockCheck& check(std::uint32_t block) const { return checks_[block]; }

 private:
  std::vector<BlockCheck> checks_;
  std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> by_crc_;
  std::vector<std::uint64_t> filter_;  // one bit per CRC's top 20 bits, to skip most look-ups
};

// The blocks the file would hold if it were the set's file: [first, first + count).
struct OwnBlocks {
  std::uint32_t first = 0, count = 0;
};

// A block of the set seen in a scanned file, and where.
struct BlockSeen {
  std::uint32_t block = 0;
  std::uint64_t offset = 0;
};

struct ScanResult {
  bool read_ok = true;
  std::uint64_t size = 0;          // bytes read
  Digest md5{};                    // of all bytes read, when asked for
  std::uint32_t own_in_place = 0;  // own blocks found at their own offsets
};

// Reads `fd` once; every block found there is added to `seen`, in the order
// of the file (a block seen twice is listed twice). With every own block in place and the
// right size the file is the original, as far as MD5 can tell, so the whole-
// file MD5 (`whole_md5`) is only needed where there are no block checksums.
ScanResult scan_file(int fd, std::uint64_t slice_size, const BlockIndex& index, OwnBlocks own,
                     bool whole_md5, std::vector<BlockSeen>* seen);

}  // namespace vantorelle::par2
