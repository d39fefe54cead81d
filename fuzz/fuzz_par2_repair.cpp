// fuzz_par2_repair.cpp - fuzz target: verify and repair of a set whose files the input damages.
//
// The input makes up to three original files and a slice size, the set's
// checksums and recovery blocks are computed from the originals, then the
// files on disk are damaged as the input says (bytes flipped, cut, inserted,
// a file removed), and the work shared by one to four threads. Whatever the
// damage, verification must not crash, and a repair that reports success must
// have brought back every original exactly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crc32_fast.hpp"
#include "gf16.hpp"
#include "md5.hpp"
#include "vantorelle/par2.hpp"

namespace {

namespace fs = std::filesystem;
namespace par2 = vantorelle::par2;
using Bytes = std::vector<unsigned char>;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
  }
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  unsigned byte() { return at_ < size_ ? data_[at_++] : 0; }
  unsigned word() { return byte() | byte() << 8; }
  bool empty() const { return at_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_, at_ = 0;
};

void write_file(const fs::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}
Bytes read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes padded_block(const Bytes& file, std::uint64_t slice, std::uint32_t b) {
  Bytes block(slice, 0);
  for (std::uint64_t i = 0; i < slice && b * slice + i < file.size(); ++i) block[i] = file[b * slice + i];
  return block;
}

// The set as a PAR2 client would describe the originals, recovery data in "rec".
par2::RecoverySet describe(const fs::path& dir, const std::vector<Bytes>& originals, std::uint64_t slice,
                           std::uint32_t recovery_count) {
  par2::RecoverySet set;
  set.folder = dir.string();
  set.slice_size = slice;
  std::uint32_t first = 0;
  std::vector<Bytes> blocks;
  for (std::size_t i = 0; i < originals.size(); ++i) {
    par2::SetFile f;
    f.described = true;
    f.name = "f" + std::to_string(i);
    f.length = originals[i].size();
    f.md5_full = par2::md5_of(originals[i]);
    f.block_count = static_cast<std::uint32_t>((f.length + slice - 1) / slice);
    f.first_block = first;
    first += f.block_count;
    for (std::uint32_t b = 0; b < f.block_count; ++b) {
      blocks.push_back(padded_block(originals[i], slice, b));
      f.blocks.push_back({par2::md5_of(blocks.back()),
                          ~vantorelle::crc_update(0xFFFFFFFFu, blocks.back().data(), slice)});
    }
    set.files.push_back(std::move(f));
  }
  set.total_blocks = first;
  Bytes rec;
  for (std::uint32_t e = 0; e < recovery_count; ++e) {
    Bytes sum(slice, 0);
    for (std::uint32_t b = 0; b < blocks.size(); ++b)
      par2::gf16::mul_acc_reference(sum.data(), blocks[b].data(),
                                    par2::gf16::pow(par2::gf16::input_constant(b), e), slice);
    set.recovery.push_back({e, "rec", rec.size()});
    rec.insert(rec.end(), sum.begin(), sum.end());
  }
  write_file(dir / "rec", rec);
  return set;
}

void damage(const fs::path& file, Input* in) {
  Bytes data = read_file(file);
  switch (in->byte() % 5) {
    case 0:
      break;
    case 1:
      if (!data.empty()) data[in->word() % data.size()] ^= static_cast<unsigned char>(1 + in->byte() % 255);
      break;
    case 2:
      data.resize(std::min<std::size_t>(data.size(), in->word() % (data.size() + 1)));
      break;
    case 3:
      data.insert(data.begin() + static_cast<std::ptrdiff_t>(data.empty() ? 0 : in->word() % data.size()),
                  1 + in->byte() % 9, static_cast<unsigned char>(in->byte()));
      break;
    case 4:
      fs::remove(file);
      return;
  }
  write_file(file, data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint64_t slice = 4 * (1 + in.byte() % 32);
  const std::size_t files = 1 + in.byte() % 3;
  const std::uint32_t recovery = in.byte() % 8;
  std::vector<Bytes> originals(files);
  for (Bytes& f : originals) {
    f.resize(in.byte() % 200);
    for (auto& c : f) c = static_cast<unsigned char>(in.byte());
  }
  char pattern[] = "/tmp/fuzz_par2_XXXXXX";
  const char* scratch = ::mkdtemp(pattern);
  if (!scratch) return 0;
  const fs::path dir = fs::path(scratch) / "set";
  fs::create_directory(dir);
  for (std::size_t i = 0; i < files; ++i) write_file(dir / ("f" + std::to_string(i)), originals[i]);
  const par2::RecoverySet set = describe(dir, originals, slice, recovery);
  for (std::size_t i = 0; i < files && !in.empty(); ++i) damage(dir / ("f" + std::to_string(i)), &in);

  par2::Limits limits;
  limits.threads = 1 + in.byte() % 4;  // files and stripes shared out, or not
  const par2::Verification v = par2::verify(set, limits);
  check(v.blocks.size() == set.total_blocks, "a source for every block");
  limits.repair_buffer_bytes = 8 + in.byte() * 8;  // stripes of every width
  const par2::RepairResult r = par2::repair(set, v, limits);
  if (v.repairable) check(r.ok, "a repairable set not repaired");
  if (r.ok)
    for (std::size_t i = 0; i < files; ++i)
      check(read_file(dir / ("f" + std::to_string(i))) == originals[i], "repair did not restore the original");
  check(std::distance(fs::directory_iterator(scratch), fs::directory_iterator()) == 1, "a file outside the folder");
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return 0;
}
