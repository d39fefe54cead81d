// packet_reader_test.cpp - packets found, checked and kept once, whatever surrounds them.
#include "packet_reader.hpp"

#include <gtest/gtest.h>

#include "par2_writer.hpp"

namespace vantorelle::par2 {
namespace {

using test::Bytes;
using test::SetWriter;

SetWriter two_files() {
  Bytes a(1000), b(70);
  for (std::size_t i = 0; i < a.size(); ++i) a[i] = static_cast<unsigned char>(i * 7);
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<unsigned char>(i * 3 + 1);
  return SetWriter(256, {{"a.bin", a}, {"b.bin", b}});
}

struct Collected {
  bool ok;
  RecoverySet set;
  std::string error;
};

Collected collect(const std::vector<Bytes>& volumes, const Limits& limits = {}) {
  PacketCollector c(limits);
  for (std::size_t i = 0; i < volumes.size(); ++i)
    c.read_volume(MemorySource(volumes[i]), "v" + std::to_string(i));
  Collected out;
  out.ok = c.finish(&out.set, &out.error);
  return out;
}

TEST(Par2PacketReader, ReadsAWholeSet) {
  const SetWriter w = two_files();
  const Collected c = collect({w.volume({0, 1, 5})});
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.set.slice_size, 256u);
  ASSERT_EQ(c.set.files.size(), 2u);
  EXPECT_EQ(c.set.total_blocks, 5u);  // 4 blocks of a.bin, 1 of b.bin
  ASSERT_EQ(c.set.recovery.size(), 3u);
  EXPECT_EQ(c.set.recovery[2].exponent, 5u);
  EXPECT_EQ(c.set.stats.damaged_packets, 0u);
  for (const SetFile& f : c.set.files) EXPECT_EQ(f.blocks.size(), f.block_count) << f.name;
}

// Each case: what is done to the one volume, and what the reader must count.
struct DamageCase {
  const char* name;
  Bytes (*make)(const SetWriter&);
  std::uint32_t damaged, unknown;
  std::size_t recovery_blocks;
};

Bytes flip_in_recovery(const SetWriter& w) {
  Bytes v = w.volume({0, 1});
  v[v.size() - 10] ^= 1;  // inside the last recovery block
  return v;
}
Bytes cut_in_last_packet(const SetWriter& w) {
  Bytes v = w.volume({0, 1});
  v.resize(v.size() - 100);
  return v;
}
Bytes garbage_between(const SetWriter& w) {
  Bytes v = w.main();
  Bytes junk(37, 0x5A);
  junk[3] = 'P';  // the start of a magic that is not one
  SetWriter::append(&v, junk);
  for (std::size_t i = 0; i < 2; ++i) {
    SetWriter::append(&v, w.description(i));
    SetWriter::append(&v, w.checksums(i));
  }
  SetWriter::append(&v, w.recovery(3));
  return v;
}
Bytes length_past_end(const SetWriter& w) {
  Bytes v = w.volume({0});
  Bytes bad = w.recovery(9);
  bad[8] = 0xFF;  // length far beyond the file
  SetWriter::append(&v, bad);
  return v;
}
Bytes length_not_multiple_of_four(const SetWriter& w) {
  Bytes bad = w.recovery(9);
  bad[8] ^= 2;
  Bytes v = bad;
  SetWriter::append(&v, w.volume({0}));
  return v;
}
Bytes unknown_type(const SetWriter& w) {
  Bytes v = w.volume({0});
  SetWriter::append(&v, test::packet(std::string_view("PAR 2.0\0Future\0\0", 16), w.set_id(), Bytes(12, 1)));
  return v;
}
Bytes repeated_packets(const SetWriter& w) {
  Bytes v = w.volume({0, 1});
  SetWriter::append(&v, w.volume({1, 2}));
  return v;
}

TEST(Par2PacketReader, DamageCostsOnlyTheDamagedPacket) {
  const DamageCase cases[] = {
      {"flipped byte in a recovery block", flip_in_recovery, 1, 0, 1},
      {"volume cut inside its last packet", cut_in_last_packet, 1, 0, 1},
      {"garbage and a false magic between packets", garbage_between, 0, 0, 1},
      {"length beyond the end of the volume", length_past_end, 1, 0, 1},
      {"length not a multiple of four", length_not_multiple_of_four, 1, 0, 1},
      {"packet of an unknown type", unknown_type, 0, 1, 1},
      {"packets repeated, as in every volume", repeated_packets, 0, 0, 3},
  };
  const SetWriter w = two_files();
  for (const DamageCase& c : cases) {
    const Collected got = collect({c.make(w)});
    ASSERT_TRUE(got.ok) << c.name << ": " << got.error;
    EXPECT_EQ(got.set.stats.damaged_packets, c.damaged) << c.name;
    EXPECT_EQ(got.set.stats.unknown_packets, c.unknown) << c.name;
    EXPECT_EQ(got.set.recovery.size(), c.recovery_blocks) << c.name;
    EXPECT_EQ(got.set.files.size(), 2u) << c.name;
    for (const SetFile& f : got.set.files) EXPECT_TRUE(f.described && !f.blocks.empty()) << c.name;
  }
}

TEST(Par2PacketReader, PacketsOfAnotherSetAreLeftOut) {
  const SetWriter w = two_files();
  const SetWriter other(512, {{"c.bin", Bytes(900, 9)}});
  const Collected c = collect({w.volume({0}), other.volume({0, 1})});
  ASSERT_TRUE(c.ok) << c.error;
  EXPECT_EQ(c.set.files.size(), 2u);
  EXPECT_EQ(c.set.recovery.size(), 1u);
  EXPECT_GT(c.set.stats.other_sets, 0u);
}

TEST(Par2PacketReader, VolumesOfOneSetAreMerged) {
  const SetWriter w = two_files();
  Bytes index = w.main();
  const Collected c = collect({index, w.recovery(4), w.volume({7})});
  ASSERT_TRUE(c.ok) << c.error;
  ASSERT_EQ(c.set.recovery.size(), 2u);
  EXPECT_EQ(c.set.recovery[0].volume, "v1");
  EXPECT_EQ(c.set.recovery[1].volume, "v2");
}

TEST(Par2PacketReader, NoMainPacketIsAnError) {
  const SetWriter w = two_files();
  const Collected c = collect({w.description(0)});
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.error, "no Main packet found");
}

}  // namespace
}  // namespace vantorelle::par2
