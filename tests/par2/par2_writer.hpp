// par2_writer.hpp - PAR2 volumes written byte by byte for tests, damage included on request.
//
// Recovery data is computed with the plain shift-and-add multiply, so the
// sets do not depend on the kernel under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "gf16.hpp"
#include "md5.hpp"

namespace vantorelle::par2::test {

using Bytes = std::vector<unsigned char>;

inline void write_file(const std::filesystem::path& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline Bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void put64(Bytes* b, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) b->push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void put32(Bytes* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void put(Bytes* b, const Digest& d) { b->insert(b->end(), d.begin(), d.end()); }
inline void put(Bytes* b, std::string_view s) { b->insert(b->end(), s.begin(), s.end()); }

// A whole packet: header with its MD5 around `body` (padded to four bytes).
inline Bytes packet(std::string_view type16, const Digest& set_id, Bytes body) {
  while (body.size() % 4) body.push_back(0);
  Bytes hashed;
  put(&hashed, set_id);
  put(&hashed, type16);
  hashed.insert(hashed.end(), body.begin(), body.end());
  Bytes p;
  put(&p, std::string_view("PAR2\0PKT", 8));
  put64(&p, 32 + hashed.size());
  put(&p, md5_of(hashed));
  p.insert(p.end(), hashed.begin(), hashed.end());
  return p;
}

struct TestFile {
  std::string name;
  Bytes data;
};

// A set's packets as PAR2 clients write them: files ordered by file ID,
// recovery blocks for `exponents`.
class SetWriter {
 public:
  SetWriter(std::uint64_t slice, std::vector<TestFile> files) : slice_(slice), files_(std::move(files)) {
    for (TestFile& f : files_) {
      Bytes id_input;
      put(&id_input, md5_of(std::span(f.data).first(std::min<std::size_t>(f.data.size(), 16384))));
      put64(&id_input, f.data.size());
      put(&id_input, f.name);
      ids_.push_back(md5_of(id_input));
    }
    // PAR2 orders the recovery set by file ID.
    for (std::size_t i = 0; i < files_.size(); ++i)
      for (std::size_t j = i + 1; j < files_.size(); ++j)
        if (ids_[j] < ids_[i]) {
          std::swap(ids_[i], ids_[j]);
          std::swap(files_[i], files_[j]);
        }
    Bytes body;
    put64(&body, slice_);
    put32(&body, static_cast<std::uint32_t>(files_.size()));
    for (const Digest& id : ids_) put(&body, id);
    main_body_ = body;
    set_id_ = md5_of(body);
  }

  const Digest& set_id() const { return set_id_; }
  Bytes main() const { return packet(std::string_view("PAR 2.0\0Main\0\0\0\0", 16), set_id_, main_body_); }
  Bytes description(std::size_t i, std::string_view name_override = {}) const {
    const TestFile& f = files_[i];
    Bytes body;
    put(&body, ids_[i]);
    put(&body, md5_of(f.data));
    put(&body, md5_of(std::span(f.data).first(std::min<std::size_t>(f.data.size(), 16384))));
    put64(&body, f.data.size());
    put(&body, name_override.empty() ? std::string_view(f.name) : name_override);
    return packet(std::string_view("PAR 2.0\0FileDesc", 16), set_id_, body);
  }
  Bytes checksums(std::size_t i) const {
    Bytes body;
    put(&body, ids_[i]);
    for (const Bytes& block : blocks_of(i)) {
      put(&body, md5_of(block));
      std::uint32_t crc = 0xFFFFFFFFu;
      for (unsigned char c : block) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
      }
      put32(&body, ~crc);
    }
    return packet(std::string_view("PAR 2.0\0IFSC\0\0\0\0", 16), set_id_, body);
  }
  Bytes recovery(std::uint32_t exponent) const {
    Bytes data(slice_, 0);
    std::uint32_t index = 0;
    for (std::size_t i = 0; i < files_.size(); ++i)
      for (const Bytes& block : blocks_of(i))
        gf16::mul_acc_reference(data.data(), block.data(),
                                gf16::pow(gf16::input_constant(index++), exponent), slice_);
    Bytes body;
    put32(&body, exponent);
    body.insert(body.end(), data.begin(), data.end());
    return packet(std::string_view("PAR 2.0\0RecvSlic", 16), set_id_, body);
  }
  // Main, then every file's description and checksums, then the recovery blocks.
  Bytes volume(const std::vector<std::uint32_t>& exponents) const {
    Bytes v = main();
    for (std::size_t i = 0; i < files_.size(); ++i) {
      append(&v, description(i));
      append(&v, checksums(i));
    }
    for (std::uint32_t e : exponents) append(&v, recovery(e));
    return v;
  }
  const std::vector<TestFile>& files() const { return files_; }

  static void append(Bytes* to, const Bytes& from) { to->insert(to->end(), from.begin(), from.end()); }

 private:
  std::vector<Bytes> blocks_of(std::size_t i) const {
    std::vector<Bytes> blocks;
    const Bytes& d = files_[i].data;
    for (std::size_t at = 0; at < d.size(); at += slice_) {
      Bytes b(d.begin() + static_cast<std::ptrdiff_t>(at),
              d.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(d.size(), at + slice_)));
      b.resize(slice_, 0);
      blocks.push_back(std::move(b));
    }
    return blocks;
  }

  std::uint64_t slice_;
  std::vector<TestFile> files_;
  std::vector<Digest> ids_;
  Bytes main_body_;
  Digest set_id_{};
};

}  // namespace vantorelle::par2::test
