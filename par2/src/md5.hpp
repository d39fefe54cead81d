// md5.hpp - MD5 digests through Nettle, for packet, block and whole-file checks.
#pragma once

#include <cstddef>
#include <span>

#include <nettle/md5.h>

#include "vantorelle/par2.hpp"

namespace vantorelle::par2 {

class Md5 {
 public:
  Md5() { md5_init(&ctx_); }
  void update(std::span<const unsigned char> data);
  Digest finish();

 private:
  md5_ctx ctx_{};
};

Digest md5_of(std::span<const unsigned char> data);

}  // namespace vantorelle::par2
