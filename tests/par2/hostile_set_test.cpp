// hostile_set_test.cpp - sets on disk that lie, and repairs that must stay inside the set's folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "par2_writer.hpp"
#include "temp_dir.hpp"
#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {
namespace {

namespace fs = std::filesystem;
using test::write_file;
using test::read_file;
using test::Bytes;
using test::SetWriter;

// Random bytes, so no block of a set equals another.
Bytes pattern(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes b(size);
  for (auto& c : b) c = static_cast<unsigned char>(random());
  return b;
}

SetWriter three_files() {
  return SetWriter(512, {{"one.bin", pattern(5000, 1)}, {"two.bin", pattern(1300, 2)}, {"three.bin", pattern(512, 3)}});
}

// The set's files and one volume in a fresh folder inside `root`.
fs::path lay_out(const vantorelle::test::TempDir& root, const SetWriter& w, const Bytes& volume) {
  const fs::path dir = root.path() / "set";
  fs::create_directory(dir);
  for (const test::TestFile& f : w.files()) write_file(dir / f.name, f.data);
  write_file(dir / "set.par2", volume);
  return dir;
}

const FileReport& report_for(const Verification& v, const std::string& name) {
  for (const FileReport& r : v.files)
    if (r.name == name) return r;
  throw std::runtime_error("no report for " + name);
}

TEST(Par2Repair, DamageOfEveryKindIsRepairedToTheOriginal) {
  const vantorelle::test::TempDir root;
  const SetWriter w = three_files();
  const fs::path dir = lay_out(root, w, w.volume({0, 1, 2, 3, 4, 5}));
  fs::remove(dir / "three.bin");
  Bytes one = read_file(dir / "one.bin");
  one[600] ^= 0xFF;                                       // block 1 flipped
  one.insert(one.begin() + 2000, {1, 2, 3});              // later blocks displaced
  write_file(dir / "one.bin", one);
  fs::resize_file(dir / "two.bin", 700);                  // block 2 cut, block 1 short
  // 64 bytes: many stripes per block; 4096: stripes shared by three threads, the last share short.
  const std::pair<std::uint64_t, unsigned> runs[] = {{256u << 20, 0}, {64, 1}, {4096, 3}};
  for (const auto& [buffer, threads] : runs) {
    SCOPED_TRACE("repair buffer " + std::to_string(buffer) + ", threads " + std::to_string(threads));
    Limits limits;
    limits.repair_buffer_bytes = buffer;
    limits.threads = threads;
    const ReadResult read = read_set((dir / "set.par2").string(), limits);
    ASSERT_TRUE(read.ok) << read.error;
    const Verification v = verify(read.set, limits);
    EXPECT_EQ(report_for(v, "three.bin").verdict, Verdict::missing);
    EXPECT_EQ(report_for(v, "one.bin").verdict, Verdict::damaged);
    EXPECT_EQ(report_for(v, "one.bin").missing_blocks, (std::vector<std::uint32_t>{1, 3}));
    EXPECT_EQ(report_for(v, "two.bin").missing_blocks, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(v.missing_blocks, 5u);
    ASSERT_TRUE(v.repairable) << summary_text(v);
    const RepairResult r = repair(read.set, v, limits);
    ASSERT_TRUE(r.ok) << r.error;
    for (const test::TestFile& f : w.files()) EXPECT_EQ(read_file(dir / f.name), f.data) << f.name;
    EXPECT_TRUE(verify(read.set, limits).all_correct);
    // Nothing left beside the set: no temporary, no original kept aside.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
    // The same damage again for the next run.
    fs::remove(dir / "three.bin");
    write_file(dir / "one.bin", one);
    fs::resize_file(dir / "two.bin", 700);
  }
}

TEST(Par2Repair, AFileUnderAnotherNameIsMovedIntoPlace) {
  const vantorelle::test::TempDir root;
  const SetWriter w = three_files();
  const fs::path dir = lay_out(root, w, w.volume({0}));
  fs::rename(dir / "two.bin", dir / "x7f3a.tmp");
  const ReadResult read = read_set((dir / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  const Verification v = verify(read.set);
  EXPECT_EQ(report_for(v, "two.bin").verdict, Verdict::found_elsewhere);
  EXPECT_EQ(report_for(v, "two.bin").other_name, "x7f3a.tmp");
  EXPECT_EQ(summary_text(v), "PAR2: 0 blocks damaged, 1 recovery blocks: repairable");
  ASSERT_TRUE(repair(read.set, v).ok);
  EXPECT_TRUE(fs::exists(dir / "two.bin"));
  EXPECT_FALSE(fs::exists(dir / "x7f3a.tmp"));
}

TEST(Par2Repair, AWrongRecoveryBlockLeavesTheDamagedFileAsItWas) {
  const vantorelle::test::TempDir root;
  const SetWriter w = three_files();
  // A recovery block with a good packet MD5 but data that is no sum of the blocks.
  Bytes body;
  test::put32(&body, 0);
  body.resize(4 + 512, 0x33);
  Bytes volume = w.volume({});
  SetWriter::append(&volume, test::packet(std::string_view("PAR 2.0\0RecvSlic", 16), w.set_id(), body));
  const fs::path dir = lay_out(root, w, volume);
  Bytes one = read_file(dir / "one.bin");
  one[10] ^= 1;
  write_file(dir / "one.bin", one);
  const ReadResult read = read_set((dir / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  const Verification v = verify(read.set);
  ASSERT_TRUE(v.repairable);
  const RepairResult r = repair(read.set, v);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "one.bin: the repaired file does not match its MD5");
  EXPECT_EQ(read_file(dir / "one.bin"), one);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
}

// Sets whose packets are well formed but whose values must not be believed.
struct HostileCase {
  const char* name;
  Bytes (*make)(const SetWriter&);
  bool reads;  // read_set succeeds
};

Bytes main_with(const SetWriter& w, std::uint64_t slice, std::uint32_t count) {
  Bytes body;
  test::put64(&body, slice);
  test::put32(&body, count);
  body.resize(12 + 16 * 3, 0);
  return test::packet(std::string_view("PAR 2.0\0Main\0\0\0\0", 16), w.set_id(), body);
}
Bytes rest_of(const SetWriter& w) {
  Bytes v;
  for (std::size_t i = 0; i < 3; ++i) {
    SetWriter::append(&v, w.description(i));
    SetWriter::append(&v, w.checksums(i));
  }
  return v;
}

TEST(Par2Hostile, LengthsAndCountsAreCheckedBeforeUse) {
  const HostileCase cases[] = {
      {"file count beyond the Main body", [](const SetWriter& w) {
         Bytes v = main_with(w, 512, 1000000);
         SetWriter::append(&v, rest_of(w));
         return v;
       }, false},
      {"slice size not a multiple of four", [](const SetWriter& w) {
         Bytes v = main_with(w, 513, 3);
         SetWriter::append(&v, rest_of(w));
         return v;
       }, false},
      {"slice size beyond the limit", [](const SetWriter& w) {
         Bytes v = main_with(w, std::uint64_t{1} << 40, 3);
         SetWriter::append(&v, rest_of(w));
         return v;
       }, false},
      {"file length of more blocks than PAR2 allows", [](const SetWriter& w) {
         Bytes v = w.main();
         Bytes d = w.description(0);
         // The length field (after header, ID and two MD5s), with the packet MD5 made right again.
         Bytes body(d.begin() + 64, d.end());
         for (std::size_t i = 48; i < 56 && i < body.size(); ++i) body[i] = 0x7F;
         SetWriter::append(&v, test::packet(std::string_view("PAR 2.0\0FileDesc", 16), w.set_id(), body));
         return v;
       }, false},
      {"recovery block of another size", [](const SetWriter& w) {
         Bytes v = w.volume({});
         Bytes body;
         test::put32(&body, 1);
         body.resize(4 + 1024, 7);
         SetWriter::append(&v, test::packet(std::string_view("PAR 2.0\0RecvSlic", 16), w.set_id(), body));
         return v;
       }, true},
  };
  for (const HostileCase& c : cases) {
    const vantorelle::test::TempDir root;
    const SetWriter w = three_files();
    const fs::path dir = lay_out(root, w, c.make(w));
    const ReadResult read = read_set((dir / "set.par2").string());
    EXPECT_EQ(read.ok, c.reads) << c.name << ": " << read.error;
    if (read.ok) {
      const Verification v = verify(read.set);
      EXPECT_TRUE(v.all_correct) << c.name;
      EXPECT_EQ(v.recovery_blocks, 0u) << c.name;
    }
  }
}

TEST(Par2Hostile, NamesThatAreNotPlainFileNamesAreRefused) {
  for (const char* name : {"../outside.bin", "sub/one.bin", "..", ".", "/tmp/abs.bin"}) {
    const vantorelle::test::TempDir root;
    const SetWriter w = three_files();
    Bytes v = w.main();
    SetWriter::append(&v, w.description(0, name));
    SetWriter::append(&v, w.checksums(0));
    for (std::size_t i = 1; i < 3; ++i) {
      SetWriter::append(&v, w.description(i));
      SetWriter::append(&v, w.checksums(i));
    }
    SetWriter::append(&v, w.recovery(0));
    const fs::path dir = lay_out(root, w, v);
    const ReadResult read = read_set((dir / "set.par2").string());
    ASSERT_TRUE(read.ok) << name << ": " << read.error;
    const Verification ver = verify(read.set);
    EXPECT_EQ(ver.files[0].verdict, Verdict::refused) << name;
    EXPECT_FALSE(ver.repairable) << name;
    EXPECT_FALSE(repair(read.set, ver).ok) << name;
    EXPECT_FALSE(fs::exists(root.path() / "outside.bin")) << name;
  }
}

TEST(Par2Hostile, TwoFilesOfOneNameAreRefused) {
  const vantorelle::test::TempDir root;
  const SetWriter w = three_files();
  Bytes v = w.main();
  for (std::size_t i = 0; i < 3; ++i) {
    SetWriter::append(&v, w.description(i, i == 2 ? w.files()[0].name : std::string_view()));
    SetWriter::append(&v, w.checksums(i));
  }
  SetWriter::append(&v, w.recovery(0));
  const fs::path dir = lay_out(root, w, v);
  const ReadResult read = read_set((dir / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  const Verification ver = verify(read.set);
  EXPECT_EQ(ver.files[2].verdict, Verdict::refused);
  EXPECT_EQ(ver.files[2].problem, "named twice in the set");
  EXPECT_FALSE(ver.repairable);
}

TEST(Par2Hostile, ALinkInTheFolderIsNeverFollowed) {
  const vantorelle::test::TempDir root;
  const SetWriter w = three_files();
  const fs::path dir = lay_out(root, w, w.volume({0, 1, 2}));
  // two.bin becomes a link to a damaged file outside the folder.
  Bytes outside = w.files()[1].data;
  outside[0] ^= 1;
  for (const test::TestFile& f : w.files())
    if (f.name == "two.bin") {
      fs::remove(dir / f.name);
      write_file(root.path() / "outside.bin", outside);
      fs::create_symlink(root.path() / "outside.bin", dir / f.name);
    }
  const ReadResult read = read_set((dir / "set.par2").string());
  ASSERT_TRUE(read.ok) << read.error;
  const Verification v = verify(read.set);
  EXPECT_EQ(report_for(v, "two.bin").verdict, Verdict::refused);
  EXPECT_EQ(report_for(v, "two.bin").problem, "a link, not followed");
  EXPECT_FALSE(v.repairable);
  EXPECT_FALSE(repair(read.set, v).ok);
  EXPECT_EQ(read_file(root.path() / "outside.bin"), outside);
  EXPECT_TRUE(fs::is_symlink(dir / "two.bin"));
}

}  // namespace
}  // namespace vantorelle::par2
