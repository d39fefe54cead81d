// block_scanner.cpp - one pass over a file finding the set's blocks in it, wherever they lie.
#include "block_scanner.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "crc32.hpp"
#include "crc32_fast.hpp"
#include "folder.hpp"
#include "md5.hpp"

namespace vantorelle::par2 {
namespace {

constexpr unsigned kFilterBits = 20;

// The raw CRC register (no presetting, no complement) of a window that moves
// one byte at a time. With R(w) the register from 0 over window w of n bytes,
// R(w1..wn) = step(R(w0..wn-1), wn) ^ shift(R(w0), n): the byte leaving only
// contributes a table entry.
class RollingCrc {
 public:
  explicit RollingCrc(std::uint64_t window) {
    for (unsigned b = 0; b < 256; ++b) {
      std::uint32_t r = 0;
      crcadd(&r, static_cast<unsigned char>(b));
      leaving_[b] = crc_shift(r, window);
    }
    preset_ = crc_shift(0xFFFFFFFFu, window);
  }
  void start(const unsigned char* window, std::size_t size) { reg_ = crc_update(0, window, size); }
  void roll(unsigned char out, unsigned char in) {
    crcadd(&reg_, in);
    reg_ ^= leaving_[out];
  }
  // The CRC-32 of the window as PAR2 stores it (preset and complemented).
  std::uint32_t value() const { return ~(preset_ ^ reg_); }

 private:
  std::array<std::uint32_t, 256> leaving_{};
  std::uint32_t preset_ = 0;
  std::uint32_t reg_ = 0;
};

// The file read forward once into a buffer of two slices (less for a small file); the window at any
// position is whole in it, zeros past the end of the file.
class WindowReader {
 public:
  WindowReader(int fd, std::uint64_t size, std::uint64_t slice, bool whole_md5)
      : fd_(fd), size_(size), slice_(slice),
        buffer_(static_cast<std::size_t>(slice + std::min(slice, size))), whole_md5_(whole_md5) {}

  // The slice-size window at `pos`, which must not go back before the last one.
  const unsigned char* window(std::uint64_t pos) {
    if ((pos + slice_ > base_ + filled_ && !at_end_) || pos + slice_ > base_ + buffer_.size())
      refill(pos);
    return buffer_.data() + (pos - base_);
  }
  void drain() {
    while (!at_end_) refill(base_ + filled_);
  }
  bool ok() const { return ok_; }
  std::uint64_t bytes_read() const { return read_; }
  Digest md5() { return md5_.finish(); }

 private:
  void refill(std::uint64_t pos) {
    const std::size_t keep = pos < base_ + filled_ ? static_cast<std::size_t>(base_ + filled_ - pos) : 0;
    std::memmove(buffer_.data(), buffer_.data() + (filled_ - keep), keep);
    base_ = pos;
    filled_ = keep;
    if (at_end_) {
      std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(filled_), buffer_.end(), 0);
      return;
    }
    const std::size_t room = buffer_.size() - filled_;
    const auto got = read_at(fd_, read_, std::span(buffer_).subspan(filled_, room));
    if (!got) ok_ = false;
    const std::size_t n = got.value_or(0);
    if (whole_md5_) md5_.update(std::span(buffer_).subspan(filled_, n));
    filled_ += n;
    read_ += n;
    if (n < room || read_ >= size_) {
      at_end_ = true;
      std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(filled_), buffer_.end(), 0);
    }
  }

  int fd_;
  std::uint64_t size_, slice_;
  std::vector<unsigned char> buffer_;
  std::uint64_t base_ = 0;   // file offset of buffer_[0]
  std::size_t filled_ = 0;   // file bytes in the buffer
  std::uint64_t read_ = 0;   // file bytes read so far
  bool at_end_ = false, ok_ = true;
  bool whole_md5_;
  Md5 md5_;
};

// Records the window as every block with its CRC and MD5; true if any.
bool record_match(const BlockIndex& index, const std::vector<std::uint32_t>& candidates,
                  const unsigned char* window, std::uint64_t slice, std::uint64_t pos, OwnBlocks own,
                  std::vector<bool>* in_place, std::vector<BlockSeen>* seen) {
  const Digest md5 = md5_of(std::span(window, slice));
  bool any = false;
  for (const std::uint32_t block : candidates) {
    if (index.check(block).md5 != md5) continue;
    any = true;
    if (block >= own.first && block - own.first < own.count &&
        pos == std::uint64_t{block - own.first} * slice)
      (*in_place)[block - own.first] = true;
    seen->push_back({block, pos});
  }
  return any;
}

}  // namespace

BlockIndex::BlockIndex(const RecoverySet& set)
    : checks_(set.total_blocks), filter_((std::size_t{1} << kFilterBits) / 64) {
  for (const SetFile& f : set.files) {
    for (std::size_t b = 0; b < f.blocks.size(); ++b) {
      const std::uint32_t global = f.first_block + static_cast<std::uint32_t>(b);
      checks_[global] = f.blocks[b];
      by_crc_[f.blocks[b].crc].push_back(global);
      const std::uint32_t key = f.blocks[b].crc >> (32 - kFilterBits);
      filter_[key / 64] |= std::uint64_t{1} << (key % 64);
    }
  }
}

const std::vector<std::uint32_t>* BlockIndex::with_crc(std::uint32_t crc) const {
  const std::uint32_t key = crc >> (32 - kFilterBits);
  if (!(filter_[key / 64] >> (key % 64) & 1u)) return nullptr;
  const auto it = by_crc_.find(crc);
  return it == by_crc_.end() ? nullptr : &it->second;
}

ScanResult scan_file(int fd, std::uint64_t slice_size, const BlockIndex& index, OwnBlocks own,
                     bool whole_md5, std::vector<BlockSeen>* seen) {
  ScanResult result;
  struct stat st{};
  if (::fstat(fd, &st) != 0) {
    result.read_ok = false;
    return result;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  WindowReader reader(fd, size, slice_size, whole_md5);
  std::vector<bool> in_place(own.count);
  if (!index.empty()) {
    RollingCrc crc(slice_size);
    std::uint64_t pos = 0;
    bool fresh = true;
    while (pos < size && reader.ok()) {
      const unsigned char* window = reader.window(pos);
      if (fresh) crc.start(window, slice_size);
      fresh = false;
      const auto* candidates = index.with_crc(crc.value());
      if (candidates &&
          record_match(index, *candidates, window, slice_size, pos, own, &in_place, seen)) {
        // Past the match, but never past a block's own place: a match away
        // from it (repeated content, a block moved) must not hide the blocks
        // that are where they belong.
        pos = std::min(pos + slice_size, (pos / slice_size + 1) * slice_size);
        fresh = true;
        continue;
      }
      const unsigned char out = window[0];
      const unsigned char in = reader.window(pos + 1)[slice_size - 1];
      crc.roll(out, in);
      ++pos;
    }
  }
  reader.drain();
  result.read_ok = reader.ok();
  result.size = reader.bytes_read();
  result.md5 = reader.md5();
  result.own_in_place = static_cast<std::uint32_t>(std::count(in_place.begin(), in_place.end(), true));
  return result;
}

}  // namespace vantorelle::par2
