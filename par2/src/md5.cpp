// md5.cpp - MD5 digests through Nettle, for packet, block and whole-file checks.
#include "md5.hpp"

namespace vantorelle::par2 {

void Md5::update(std::span<const unsigned char> data) {
  // Nettle takes size_t lengths; no split needed.
  md5_update(&ctx_, data.size(), data.data());
}

Digest Md5::finish() {
  Digest d{};
  md5_digest(&ctx_, d.size(), d.data());
  return d;
}

Digest md5_of(std::span<const unsigned char> data) {
  Md5 m;
  m.update(data);
  return m.finish();
}

}  // namespace vantorelle::par2
