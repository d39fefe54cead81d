// packet_reader.cpp - PAR2 packets found in volumes, checked, and gathered into one recovery set.
#include "packet_reader.hpp"

#include <algorithm>
#include <cstring>
#include <set>
#include <string_view>

#include "folder.hpp"
#include "md5.hpp"

namespace vantorelle::par2 {
namespace {

constexpr std::string_view kMagic{"PAR2\0PKT", 8};
constexpr std::size_t kHeaderSize = 64;
constexpr std::size_t kHashedFrom = 32;  // the packet MD5 covers set ID, type and body
constexpr std::size_t kSearchChunk = 64u << 10;
constexpr std::size_t kHashChunk = 1u << 20;

using Type = std::array<unsigned char, 16>;

constexpr Type type_of(std::string_view text) {
  Type t{};
  for (std::size_t i = 0; i < text.size() && i < t.size(); ++i) t[i] = static_cast<unsigned char>(text[i]);
  return t;
}
constexpr Type kMainType = type_of({"PAR 2.0\0Main", 12});
constexpr Type kDescriptionType = type_of({"PAR 2.0\0FileDesc", 16});
constexpr Type kChecksumsType = type_of({"PAR 2.0\0IFSC", 12});
constexpr Type kRecoveryType = type_of({"PAR 2.0\0RecvSlic", 16});
constexpr Type kCreatorType = type_of({"PAR 2.0\0Creator", 15});

std::uint64_t le64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::uint32_t le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
Digest digest_at(const unsigned char* p) {
  Digest d{};
  std::memcpy(d.data(), p, d.size());
  return d;
}
// Text fields are padded with NULs to a multiple of four.
std::string text_of(std::span<const unsigned char> bytes) {
  std::string s(bytes.begin(), bytes.end());
  const auto end = s.find('\0');
  if (end != std::string::npos) s.resize(end);
  return s;
}

}  // namespace

struct PacketCollector::Header {
  std::uint64_t length = 0;
  Digest md5{};
  Digest set_id{};
  Type type{};
};

std::optional<std::size_t> MemorySource::read(std::uint64_t offset, std::span<unsigned char> out) const {
  if (offset >= bytes_.size()) return 0;
  const std::size_t n = std::min<std::uint64_t>(out.size(), bytes_.size() - offset);
  std::memcpy(out.data(), bytes_.data() + offset, n);
  return n;
}

std::optional<std::size_t> FileSource::read(std::uint64_t offset, std::span<unsigned char> out) const {
  if (offset >= size_) return 0;
  const std::size_t n = std::min<std::uint64_t>(out.size(), size_ - offset);
  return read_at(fd_, offset, out.first(n));
}

std::optional<std::uint64_t> PacketCollector::find_magic(const ByteSource& source,
                                                         std::uint64_t from) {
  std::vector<unsigned char>& chunk = search_buffer_;
  chunk.resize(kSearchChunk);
  while (from < source.size() && source.size() - from >= kHeaderSize) {
    const auto n = source.read(from, chunk);
    if (!n || *n < kMagic.size()) return std::nullopt;
    const std::string_view view(reinterpret_cast<const char*>(chunk.data()), *n);
    const auto hit = view.find(kMagic);
    if (hit != std::string_view::npos) return from + hit;
    from += *n - (kMagic.size() - 1);  // a magic may straddle two chunks
  }
  return std::nullopt;
}

bool PacketCollector::read_volume(const ByteSource& source, const std::string& volume) {
  ++stats_.volumes;
  std::uint64_t at = 0;
  while (true) {
    const auto found = find_magic(source, at);
    if (!found) return true;
    std::uint64_t length = 0;
    if (read_packet(source, volume, *found, &length)) {
      ++stats_.packets;
      at = *found + length;
    } else {
      at = *found + kMagic.size();
    }
  }
}

// Reads the packet at `at`; true when it is whole and its MD5 matches (its
// contents taken or counted as unknown / another set), false when damaged.
bool PacketCollector::read_packet(const ByteSource& source, const std::string& volume,
                                  std::uint64_t at, std::uint64_t* length) {
  std::array<unsigned char, kHeaderSize> raw{};
  const auto n = source.read(at, raw);
  Header h;
  if (!n || *n < kHeaderSize) {
    ++stats_.damaged_packets;
    return false;
  }
  h.length = le64(raw.data() + 8);
  h.md5 = digest_at(raw.data() + 16);
  h.set_id = digest_at(raw.data() + 32);
  std::memcpy(h.type.data(), raw.data() + 48, h.type.size());
  if (h.length < kHeaderSize || h.length % 4 != 0 || h.length > source.size() - at) {
    ++stats_.damaged_packets;
    return false;
  }
  *length = h.length;
  if (h.type == kRecoveryType) return take_recovery(source, volume, at, h.length);
  if (h.length - kHeaderSize > limits_.max_packet_body) {
    ++stats_.damaged_packets;
    return false;
  }
  std::vector<unsigned char> packet(h.length - kHashedFrom);
  const auto got = source.read(at + kHashedFrom, packet);
  if (!got || *got != packet.size() || md5_of(packet) != h.md5) {
    ++stats_.damaged_packets;
    return false;
  }
  packet.erase(packet.begin(), packet.begin() + (kHeaderSize - kHashedFrom));
  return take_body(h, std::move(packet));
}

// Recovery data stays on disk: its MD5 is checked in chunks and only where it
// lies is kept.
bool PacketCollector::take_recovery(const ByteSource& source, const std::string& volume,
                                    std::uint64_t at, std::uint64_t length) {
  std::array<unsigned char, kHeaderSize> raw{};
  if (length < kHeaderSize + 4 || length - kHeaderSize - 4 > limits_.max_slice_size ||
      source.read(at, raw).value_or(0) != kHeaderSize) {
    ++stats_.damaged_packets;
    return false;
  }
  Md5 md5;
  std::vector<unsigned char> chunk(std::min<std::uint64_t>(kHashChunk, length));
  std::array<unsigned char, 4> exponent{};
  for (std::uint64_t off = kHashedFrom; off < length;) {
    const std::size_t want = std::min<std::uint64_t>(chunk.size(), length - off);
    const auto got = source.read(at + off, std::span(chunk).first(want));
    if (!got || *got != want) {
      ++stats_.damaged_packets;
      return false;
    }
    if (off == kHashedFrom) std::memcpy(exponent.data(), chunk.data() + (kHeaderSize - kHashedFrom), 4);
    md5.update(std::span(chunk).first(want));
    off += want;
  }
  if (md5.finish() != digest_at(raw.data() + 16)) {
    ++stats_.damaged_packets;
    return false;
  }
  const Digest set_id = digest_at(raw.data() + 32);
  if (!set_id_) set_id_ = set_id;
  if (set_id != *set_id_) {
    ++stats_.other_sets;
    return true;
  }
  const std::uint32_t e = le32(exponent.data());
  // Exponent 65535 would repeat exponent 0; leaving out the rest bounds the
  // blocks kept to 65535 whatever the number of packets.
  if (e >= 65535) {
    ++stats_.unknown_packets;
    return true;
  }
  if (!recovery_.count(e)) {
    recovery_[e] = RecoveryBlock{e, volume, at + kHeaderSize + 4};
    recovery_sizes_[e] = length - kHeaderSize - 4;
  }
  return true;
}

bool PacketCollector::take_body(const Header& header, std::vector<unsigned char> body) {
  if (!set_id_) set_id_ = header.set_id;
  if (header.set_id != *set_id_) {
    ++stats_.other_sets;
    return true;
  }
  if (header.type == kMainType) return parse_main(body);
  if (header.type == kDescriptionType) return parse_description(body);
  if (header.type == kChecksumsType) return parse_checksums(body);
  if (header.type == kCreatorType) {
    if (creator_.empty()) creator_ = text_of(body).substr(0, 256);
    return true;
  }
  ++stats_.unknown_packets;
  return true;
}

bool PacketCollector::parse_main(std::span<const unsigned char> body) {
  if (have_main_) return true;
  if (body.size() < 12 || (body.size() - 12) % 16 != 0) {
    ++stats_.damaged_packets;
    return false;
  }
  const std::uint64_t slice = le64(body.data());
  const std::uint32_t count = le32(body.data() + 8);
  if (slice == 0 || slice % 4 != 0 || slice > limits_.max_slice_size || count > limits_.max_files ||
      static_cast<std::uint64_t>(count) * 16 > body.size() - 12) {
    ++stats_.damaged_packets;
    return false;
  }
  std::vector<Digest> ids;
  std::set<Digest> seen;
  for (std::uint32_t i = 0; i < count; ++i) {
    ids.push_back(digest_at(body.data() + 12 + 16 * i));
    if (!seen.insert(ids.back()).second) {
      ++stats_.damaged_packets;
      return false;
    }
  }
  metadata_bytes_ += body.size();
  have_main_ = true;
  slice_size_ = slice;
  file_ids_ = std::move(ids);
  return true;
}

bool PacketCollector::parse_description(std::span<const unsigned char> body) {
  if (body.size() < 56) {
    ++stats_.damaged_packets;
    return false;
  }
  const Digest id = digest_at(body.data());
  if (descriptions_.count(id)) return true;
  if (metadata_bytes_ + body.size() > limits_.max_metadata_bytes) {
    ++stats_.damaged_packets;
    return false;
  }
  Description d;
  d.md5_full = digest_at(body.data() + 16);
  d.md5_16k = digest_at(body.data() + 32);
  d.length = le64(body.data() + 48);
  d.name = text_of(body.subspan(56));
  metadata_bytes_ += body.size();
  descriptions_.emplace(id, std::move(d));
  return true;
}

bool PacketCollector::parse_checksums(std::span<const unsigned char> body) {
  if (body.size() < 16 || (body.size() - 16) % 20 != 0 ||
      (body.size() - 16) / 20 > kMaxInputBlocks) {
    ++stats_.damaged_packets;
    return false;
  }
  const Digest id = digest_at(body.data());
  if (checksums_.count(id)) return true;
  if (metadata_bytes_ + body.size() > limits_.max_metadata_bytes) {
    ++stats_.damaged_packets;
    return false;
  }
  std::vector<BlockCheck> blocks((body.size() - 16) / 20);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const unsigned char* p = body.data() + 16 + 20 * i;
    blocks[i].md5 = digest_at(p);
    blocks[i].crc = le32(p + 16);
  }
  metadata_bytes_ += body.size();
  checksums_.emplace(id, std::move(blocks));
  return true;
}

bool PacketCollector::finish(RecoverySet* set, std::string* error) const {
  if (!have_main_) {
    *error = "no Main packet found";
    return false;
  }
  set->set_id = *set_id_;
  set->slice_size = slice_size_;
  set->files.clear();
  std::uint64_t total = 0;
  for (const Digest& id : file_ids_) {
    SetFile f;
    f.id = id;
    f.first_block = static_cast<std::uint32_t>(std::min<std::uint64_t>(total, kMaxInputBlocks));
    if (const auto d = descriptions_.find(id); d != descriptions_.end()) {
      f.described = true;
      f.md5_full = d->second.md5_full;
      f.md5_16k = d->second.md5_16k;
      f.length = d->second.length;
      f.name = d->second.name;
      const std::uint64_t blocks = f.length / slice_size_ + (f.length % slice_size_ != 0);
      if (blocks > kMaxInputBlocks || total + blocks > kMaxInputBlocks) {
        *error = "more than " + std::to_string(kMaxInputBlocks) + " blocks in the set";
        return false;
      }
      f.block_count = static_cast<std::uint32_t>(blocks);
      total += blocks;
      // Checksums for another block count cannot belong to this description.
      if (const auto c = checksums_.find(id); c != checksums_.end() && c->second.size() == blocks)
        f.blocks = c->second;
    }
    set->files.push_back(std::move(f));
  }
  set->total_blocks = static_cast<std::uint32_t>(total);
  set->recovery.clear();
  for (const auto& [exponent, block] : recovery_) {
    // Blocks of another size cannot be this set's.
    if (recovery_sizes_.at(exponent) == slice_size_) set->recovery.push_back(block);
  }
  set->creator = creator_;
  set->stats = stats_;
  return true;
}

}  // namespace vantorelle::par2
