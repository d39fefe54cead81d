// fuzz_par2_packets.cpp - fuzz target: the PAR2 packet reader over one volume of any bytes.
//
// Besides surviving, the set must keep the reader's promises: block counts
// within the format's limit and matching the checksums kept, recovery data
// inside the volume, files in range of the set's blocks.
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "packet_reader.hpp"

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vantorelle::par2;
  Limits limits;
  limits.max_packet_body = 1u << 16;
  limits.max_metadata_bytes = 1u << 20;
  limits.max_slice_size = 1u << 16;
  PacketCollector collector(limits);
  const std::span<const unsigned char> bytes(data, size);
  collector.read_volume(MemorySource(bytes), "v");
  RecoverySet set;
  std::string error;
  if (!collector.finish(&set, &error)) return 0;
  check(set.slice_size > 0 && set.slice_size % 4 == 0 && set.slice_size <= limits.max_slice_size,
        "slice size");
  check(set.total_blocks <= kMaxInputBlocks, "too many blocks");
  std::uint64_t blocks = 0;
  for (const SetFile& f : set.files) {
    check(f.blocks.empty() || f.blocks.size() == f.block_count, "checksums of another block count");
    check(!f.described || f.first_block == blocks, "first block");
    blocks += f.block_count;
  }
  check(blocks == set.total_blocks, "block total");
  for (const RecoveryBlock& r : set.recovery)
    check(r.data_offset <= size && size - r.data_offset >= set.slice_size, "recovery data outside the volume");
  return 0;
}
