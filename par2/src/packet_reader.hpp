// packet_reader.hpp - PAR2 packets found in volumes, checked, and gathered into one recovery set.
//
// A packet: the magic "PAR2\0PKT", its length (a multiple of 4, header
// included), the MD5 of everything after that MD5 field, the set ID, the type,
// then the body. A packet whose length or MD5 is wrong is skipped and counted,
// and the search goes on from the next magic, so one damaged packet costs only
// itself. Unknown types are skipped. The same packet repeated in several
// volumes is kept once.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {

// Random access to the bytes of one volume.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // As read_at in folder.hpp: fewer bytes only at the end; nullopt on error.
  virtual std::optional<std::size_t> read(std::uint64_t offset, std::span<unsigned char> out) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::optional<std::size_t> read(std::uint64_t offset, std::span<unsigned char> out) const override;

 private:
  std::span<const unsigned char> bytes_;
};

class FileSource final : public ByteSource {
 public:
  FileSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t size() const override { return size_; }
  std::optional<std::size_t> read(std::uint64_t offset, std::span<unsigned char> out) const override;

 private:
  int fd_;
  std::uint64_t size_;
};

class PacketCollector {
 public:
  explicit PacketCollector(const Limits& limits) : limits_(limits) {}

  // Reads every packet of one volume. The first good packet ever read fixes
  // the set ID; packets of other sets are counted and dropped. False when the
  // volume could not be read to its end (what was read is kept).
  bool read_volume(const ByteSource& source, const std::string& volume);

  // The set gathered so far; false with `error` when there is no Main packet
  // or the set breaks a limit.
  bool finish(RecoverySet* set, std::string* error) const;

  const ReadStats& stats() const { return stats_; }

 private:
  struct Header;
  std::optional<std::uint64_t> find_magic(const ByteSource& source, std::uint64_t from);
  bool read_packet(const ByteSource& source, const std::string& volume, std::uint64_t at,
                   std::uint64_t* length);
  bool take_recovery(const ByteSource& source, const std::string& volume, std::uint64_t at,
                     std::uint64_t length);
  bool take_body(const Header& header, std::vector<unsigned char> body);
  bool parse_main(std::span<const unsigned char> body);
  bool parse_description(std::span<const unsigned char> body);
  bool parse_checksums(std::span<const unsigned char> body);

  struct Description {
    Digest md5_full{}, md5_16k{};
    std::uint64_t length = 0;
    std::string name;
  };

  Limits limits_;
  ReadStats stats_;
  std::optional<Digest> set_id_;
  bool have_main_ = false;
  std::uint64_t slice_size_ = 0;
  std::vector<Digest> file_ids_;
  std::map<Digest, Description> descriptions_;
  std::map<Digest, std::vector<BlockCheck>> checksums_;
  std::map<std::uint32_t, RecoveryBlock> recovery_;
  std::map<std::uint32_t, std::uint64_t> recovery_sizes_;  // exponent -> data bytes
  std::string creator_;
  std::uint64_t metadata_bytes_ = 0;
  std::vector<unsigned char> search_buffer_;
};

}  // namespace vantorelle::par2
