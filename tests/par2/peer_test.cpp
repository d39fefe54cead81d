// peer_test.cpp - sets made by Debian's par2, damaged, repaired by us, then checked by par2 again.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>

#include "folder.hpp"
#include "gf16.hpp"
#include "par2_writer.hpp"
#include "temp_dir.hpp"
#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {
namespace {

namespace fs = std::filesystem;
using test::write_file;
using test::read_file;
using Bytes = std::vector<unsigned char>;

bool have_par2() { return std::system("command -v par2 >/dev/null 2>&1") == 0; }

// Runs a shell command in `dir`; its exit status, and its output in `output`.
int run_in(const fs::path& dir, const std::string& command, std::string* output = nullptr) {
  const std::string full = "cd '" + dir.string() + "' && " + command + " 2>&1";
  FILE* pipe = ::popen(full.c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

enum class Damage {
  none,
  delete_file,        // file 0 removed
  truncate_file,      // file 0 cut to a third
  flip_blocks,        // a byte flipped in blocks 0, 2 and 3 of every file
  rename_file,        // file 0 under a random name
  insert_bytes,       // 7 bytes inserted early in file 0
  delete_all_files,   // every file removed
};

struct PeerCase {
  const char* name;
  std::uint32_t block_size;
  std::vector<std::size_t> sizes;
  int redundancy;  // percent
  Damage damage;
  bool repairable;
};

const PeerCase kCases[] = {
    {"one file, nothing damaged", 4096, {100000}, 5, Damage::none, true},
    {"one file deleted, 30%", 16384, {300000}, 30, Damage::delete_file, false},
    {"one of three files deleted", 8192, {20000, 150000, 200000}, 30, Damage::delete_file, true},
    {"truncated file, small blocks", 1024, {60000, 5000}, 100, Damage::truncate_file, true},
    {"truncated file, too little redundancy", 4096, {400000}, 5, Damage::truncate_file, false},
    {"flipped blocks in each of four files", 2048, {40000, 30001, 12345, 9000}, 25, Damage::flip_blocks, true},
    {"flipped blocks, 1% redundancy", 4096, {500000, 300000}, 1, Damage::flip_blocks, false},
    {"renamed file", 65536, {1000000, 70000}, 5, Damage::rename_file, true},
    {"bytes inserted, later blocks displaced", 4096, {200000}, 10, Damage::insert_bytes, true},
    {"six files with odd sizes flipped", 512, {3001, 777, 12, 4096, 5555, 1}, 50, Damage::flip_blocks, true},
    {"all files deleted", 8192, {50000, 50000}, 10, Damage::delete_all_files, false},
    {"large blocks, file deleted", 262144, {2000000, 1500000}, 100, Damage::delete_file, true},
};

std::string file_name(std::size_t i) { return "file" + std::to_string(i) + ".dat"; }

void damage(const fs::path& dir, const PeerCase& c, std::mt19937* random) {
  const fs::path first = dir / file_name(0);
  switch (c.damage) {
    case Damage::none:
      break;
    case Damage::delete_file:
      fs::remove(first);
      break;
    case Damage::truncate_file:
      fs::resize_file(first, c.sizes[0] / 3);
      break;
    case Damage::flip_blocks:
      for (std::size_t i = 0; i < c.sizes.size(); ++i) {
        Bytes data = read_file(dir / file_name(i));
        for (const std::size_t block : {0u, 2u, 3u})
          if (block * c.block_size < data.size())
            data[block * c.block_size + (*random)() % std::min<std::size_t>(c.block_size, data.size() - block * c.block_size)] ^= 0x40;
        write_file(dir / file_name(i), data);
      }
      break;
    case Damage::rename_file:
      fs::rename(first, dir / "a8f0c1e2.bin");
      break;
    case Damage::insert_bytes: {
      Bytes data = read_file(first);
      data.insert(data.begin() + 1000, 7, 0xEE);
      write_file(first, data);
      break;
    }
    case Damage::delete_all_files:
      for (std::size_t i = 0; i < c.sizes.size(); ++i) fs::remove(dir / file_name(i));
      break;
  }
}

// "You need 22 more recovery blocks to be able to repair." from par2 repair.
std::optional<std::uint32_t> par2_more_needed(const std::string& output) {
  std::smatch m;
  if (std::regex_search(output, m, std::regex("You need ([0-9]+) more recovery")))
    return static_cast<std::uint32_t>(std::stoul(m[1]));
  return std::nullopt;
}

class Par2Peer : public ::testing::TestWithParam<PeerCase> {};

TEST_P(Par2Peer, RepairsWhatPar2CanAndPar2AgreesAfterwards) {
  if (!have_par2()) GTEST_SKIP() << "Debian's par2 is not installed (apt-get install par2)";
  const PeerCase& c = GetParam();
  SCOPED_TRACE(c.name);
  const vantorelle::test::TempDir dir;
  std::mt19937 random(static_cast<unsigned>(c.block_size + c.sizes.size()));
  std::vector<Bytes> originals;
  std::string names;
  for (std::size_t i = 0; i < c.sizes.size(); ++i) {
    Bytes data(c.sizes[i]);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    write_file(dir.path() / file_name(i), data);
    originals.push_back(std::move(data));
    names += " " + file_name(i);
  }
  std::string out;
  ASSERT_EQ(run_in(dir.path(), "par2 create -q -q -s" + std::to_string(c.block_size) + " -r" +
                                   std::to_string(c.redundancy) + " set.par2" + names, &out), 0)
      << out;
  damage(dir.path(), c, &random);

  const ReadResult read = read_set((dir.path() / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  EXPECT_EQ(read.set.stats.damaged_packets, 0u);
  const Verification v = verify(read.set);
  EXPECT_EQ(v.all_correct, c.damage == Damage::none) << summary_text(v);
  ASSERT_EQ(v.repairable, c.repairable) << summary_text(v);
  if (!c.repairable) {
    ASSERT_NE(run_in(dir.path(), "par2 repair set.par2", &out), 0) << "par2 repaired what we could not";
    EXPECT_EQ(par2_more_needed(out), v.missing_blocks - v.recovery_blocks) << out;
    return;
  }
  const RepairResult r = repair(read.set, v);
  ASSERT_TRUE(r.ok) << r.error;
  for (std::size_t i = 0; i < originals.size(); ++i)
    EXPECT_EQ(read_file(dir.path() / file_name(i)), originals[i]) << file_name(i);
  EXPECT_EQ(run_in(dir.path(), "par2 verify set.par2", &out), 0) << out;
  EXPECT_TRUE(verify(read.set).all_correct);
}

INSTANTIATE_TEST_SUITE_P(Sets, Par2Peer, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PeerCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// Recovery data par2 wrote equals the sum we form with our constants: the
// field, its generator and the constant of every input block agree.
TEST(Par2PeerRecoveryData, MatchesOurSumOfTheInputBlocks) {
  if (!have_par2()) GTEST_SKIP() << "Debian's par2 is not installed (apt-get install par2)";
  const vantorelle::test::TempDir dir;
  const std::uint32_t slice = 1024;
  std::mt19937 random(5);
  std::string names;
  for (int i = 0; i < 3; ++i) {
    Bytes data(3000 + 1500 * i);
    for (auto& b : data) b = static_cast<unsigned char>(random());
    write_file(dir.path() / file_name(i), data);
    names += " " + file_name(i);
  }
  std::string out;
  ASSERT_EQ(run_in(dir.path(), "par2 create -q -q -s1024 -c8 set.par2" + names, &out), 0) << out;
  const ReadResult read = read_set((dir.path() / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  ASSERT_EQ(read.set.recovery.size(), 8u);
  for (const RecoveryBlock& rb : read.set.recovery) {
    Bytes sum(slice, 0);
    for (const SetFile& f : read.set.files) {
      Bytes data = read_file(dir.path() / f.name);
      data.resize(std::size_t{f.block_count} * slice, 0);
      for (std::uint32_t b = 0; b < f.block_count; ++b)
        gf16::mul_acc(sum.data(), data.data() + std::size_t{b} * slice,
                      gf16::pow(gf16::input_constant(f.first_block + b), rb.exponent), slice);
    }
    const Bytes volume = read_file(dir.path() / rb.volume);
    ASSERT_LE(rb.data_offset + slice, volume.size());
    EXPECT_TRUE(std::equal(sum.begin(), sum.end(), volume.begin() + static_cast<std::ptrdiff_t>(rb.data_offset)))
        << "exponent " << rb.exponent;
  }
}

}  // namespace
}  // namespace vantorelle::par2
