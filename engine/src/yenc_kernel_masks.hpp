// yenc_kernel_masks.hpp - the line and escape bookkeeping the yEnc vector kernels share.
//
// A vector kernel takes its block 64 bytes at a time regardless of where lines
// end and turns each 64 bytes into bit masks (bit i for byte i): CR, LF, '='
// and NUL. Everything after that is plain integer work, the same for every
// vector width, and lives here: a break ends at every LF and at every CR not
// followed by an LF, a line starts after each end; stops fall on line starts
// (a line starting "=y", holding a NUL, or growing past kLineCapacity); escapes
// are resolved left to right over the '=' bits only, an escape reaching into
// the next 64 bytes through a carry. An '=' before a break escapes the break
// character, which is dropped anyway. The kernel then subtracts 42 from every
// byte and 64 more from the escaped ones, keeps the `keep` bytes in order, and
// reports the output at the last line start.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantorelle/engine.hpp"
#include "yenc_kernel.hpp"

namespace vantorelle::yenc_masks {

inline std::uint64_t low_bits(std::size_t n) {
  return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1u;
}

inline std::size_t lowest_bit(std::uint64_t m) { return static_cast<std::size_t>(__builtin_ctzll(m)); }
inline std::size_t highest_bit(std::uint64_t m) {
  return 63 - static_cast<std::size_t>(__builtin_clzll(m));
}
inline std::size_t bit_count(std::uint64_t m) {
  return static_cast<std::size_t>(__builtin_popcountll(m));
}

// The masks of 64 bytes at src[at], and whether the byte after them is an LF.
struct ChunkMasks {
  std::uint64_t cr;
  std::uint64_t lf;
  std::uint64_t eq;
  std::uint64_t nul;
  bool lf_after;
};

// What to do with one 64-byte chunk.
struct ChunkPlan {
  bool stop_before = false;  // stop at the line start carried in; decode nothing here
  std::size_t stop = 64;     // stop at this bit (a line start), or 64 for none
  std::uint64_t escaped = 0; // bytes that lose 64 more
  std::uint64_t keep = 0;    // bytes that go to the output
  std::uint64_t starts = 0;  // line starts
};

class ChunkWalker {
 public:
  // `size` as the kernel got it (at least 2).
  explicit ChunkWalker(std::size_t size) : limit_(size - 1) {}

  // The last byte cannot end a break (it decides a CR's LF): chunks run up to it.
  std::size_t limit() const { return limit_; }
  const DecodedLines& line_start() const { return line_start_; }

  // Whether the 64 bytes at `at` lie wholly before the limit, so that none
  // of the masks needs cutting.
  bool whole(std::size_t at) const { return at + 64 <= limit_; }

  // `chunk` is src + at; its 65th byte is readable. kWhole: whole(at).
  // Inlined whatever the optimisation level: through memory the masks cost more than the bytes.
  template <bool kWhole>
  [[gnu::always_inline]] ChunkPlan plan(const ChunkMasks& m, const char* chunk, std::size_t at) {
    ChunkPlan p;
    const std::uint64_t valid = kWhole ? ~std::uint64_t{0} : low_bits(limit_ - at);
    const std::uint64_t lf_next = (m.lf >> 1) | (static_cast<std::uint64_t>(m.lf_after) << 63);
    const std::uint64_t ends = (m.lf | (m.cr & ~lf_next)) & valid;
    const std::uint64_t breaks = (m.cr | m.lf) & valid;
    p.starts = ((ends << 1) | start_carry_) & (kWhole ? ~std::uint64_t{0} : low_bits(limit_ - at + 1));
    start_carry_ = ends >> 63;

    // Few lines start with '=', so their second bytes are looked at one by one.
    for (std::uint64_t eq_starts = p.starts & m.eq; eq_starts != 0; eq_starts &= eq_starts - 1) {
      const std::size_t bit = lowest_bit(eq_starts);
      if (chunk[bit + 1] == 'y') {
        p.stop = bit;
        break;
      }
    }
    const std::uint64_t nuls = m.nul & valid;
    if (nuls != 0) {
      const std::size_t at_nul = lowest_bit(nuls);
      const std::uint64_t own = p.starts & low_bits(at_nul + 1);
      if (own == 0) p.stop_before = true;
      const std::size_t s = own != 0 ? highest_bit(own) : 0;
      if (s < p.stop) p.stop = s;
    }
    // The line running into these bytes may not grow past kLineCapacity
    // (which only a line already near it can). A line whose CR ended the
    // bytes before runs no further: the LF here only completes its break.
    const bool ended_before = cr_before_lf_;
    cr_before_lf_ = ((m.cr >> 63) & static_cast<std::uint64_t>(m.lf_after)) != 0;
    if (at + 64 - line_start_.consumed > kLineCapacity && (p.starts & 1u) == 0 && !ended_before) {
      const std::size_t first_break = breaks != 0 ? lowest_bit(breaks) : 64;
      if (at + first_break - line_start_.consumed > kLineCapacity) p.stop_before = true;
    }
    if (p.stop_before) return p;

    const std::uint64_t eq = m.eq & valid;
    const std::uint64_t carried = escape_carry_ ? 1u : 0u;
    std::uint64_t escapers;
    if ((eq & ((eq << 1) | carried)) == 0) {
      // No '=' follows an escape (encoders never write one there): every '='
      // escapes the character after it.
      escapers = eq;
      p.escaped = (eq << 1) | carried;
    } else {
      p.escaped = carried;
      escapers = 0;
      std::uint64_t pending = eq & ~p.escaped;
      while (pending != 0) {
        const std::uint64_t bit = pending & (0 - pending);
        escapers |= bit;
        const std::uint64_t after = bit << 1;  // zero when bit 63 escapes the next chunk
        p.escaped |= after;
        pending &= ~(bit | after);
      }
    }
    escape_carry_ = (escapers >> 63) != 0;
    p.keep = valid & ~breaks & ~escapers;
    return p;
  }

  // After the chunk's bytes went to dst[produced]: the result when the plan
  // stops here, else false with the last line start and `produced` moved on.
  [[gnu::always_inline]] bool finish(const ChunkPlan& p, std::size_t at, std::size_t& produced) {
    if (p.stop < 64) {
      line_start_.consumed = at + p.stop;
      line_start_.produced = produced + bit_count(p.keep & low_bits(p.stop));
      return true;
    }
    // The last line start here, if any, without a branch that would often miss.
    const std::size_t last = highest_bit(p.starts | 1u);
    const std::size_t at_last = produced + bit_count(p.keep & low_bits(last));
    line_start_.consumed = p.starts != 0 ? at + last : line_start_.consumed;
    line_start_.produced = p.starts != 0 ? at_last : line_start_.produced;
    produced += bit_count(p.keep);
    return false;
  }

 private:
  std::size_t limit_;
  DecodedLines line_start_;       // the last line start met, and the output there
  std::uint64_t start_carry_ = 1; // src[0] starts a line
  bool escape_carry_ = false;
  bool cr_before_lf_ = false;      // the bytes before ended in a CR, and these begin with its LF
};

}  // namespace vantorelle::yenc_masks
