// repairer.cpp - the missing blocks rebuilt from recovery blocks, and the repaired files put in place.
//
// With known blocks d_i, missing blocks d_j and recovery blocks r_e,
//   r_e = sum_i c_i^e d_i + sum_j c_j^e d_j,
// so s_e = r_e + sum_i c_i^e d_i (addition is XOR) equals A d_missing with
// A[e][j] = c_j^e. A is inverted once by Gauss-Jordan elimination; the data is
// then handled in stripes (the same byte range of every block) so the block
// buffers stay within the stated bound however many blocks are missing.
//
// The sums are the bulk of the work: every known block times every recovery
// block used. Known blocks are read a group at a time so each piece of a sum
// takes the whole group while it is in cache, and every worker thread takes
// its own byte range of the stripe, so no two write the same bytes.
#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include "folder.hpp"
#include "gf16.hpp"
#include "md5.hpp"
#include "workers.hpp"

namespace vantorelle::par2 {
namespace {

constexpr std::size_t kCopyChunk = 1u << 20;
// Up to kInputGroup known blocks are added into the sums of up to kTableGroup
// recovery blocks kCacheChunk bytes at a time, so the pieces and the tables
// stay in cache.
constexpr std::size_t kInputGroup = 16;
constexpr std::size_t kTableGroup = 64;
constexpr std::size_t kCacheChunk = 4u << 10;
// Rounds of less work than this stay on the calling thread: waking the others
// would cost more than it saves.
constexpr std::size_t kWorthSharing = 256u << 10;

using Buffers = std::vector<std::vector<unsigned char>>;

// Worker w's share of a stripe `width` bytes wide: whole 64-byte steps of the kernel.
std::pair<std::size_t, std::size_t> share(unsigned w, unsigned workers, std::size_t width) {
  const std::size_t steps = (width + 63) / 64;
  const std::size_t per = (steps + workers - 1) / workers * 64;
  const std::size_t begin = std::min(width, w * per);
  return {begin, std::min(width, begin + per)};
}

using Matrix = std::vector<std::vector<std::uint16_t>>;

// Inverts `a` in place; false when it is singular.
bool invert(Matrix* a) {
  const std::size_t n = a->size();
  Matrix inv(n, std::vector<std::uint16_t>(n, 0));
  for (std::size_t i = 0; i < n; ++i) inv[i][i] = 1;
  Matrix& m = *a;
  for (std::size_t col = 0; col < n; ++col) {
    std::size_t pivot = col;
    while (pivot < n && m[pivot][col] == 0) ++pivot;
    if (pivot == n) return false;
    std::swap(m[pivot], m[col]);
    std::swap(inv[pivot], inv[col]);
    const std::uint16_t scale = gf16::div(1, m[col][col]);
    for (std::size_t k = 0; k < n; ++k) {
      m[col][k] = gf16::mul(m[col][k], scale);
      inv[col][k] = gf16::mul(inv[col][k], scale);
    }
    for (std::size_t row = 0; row < n; ++row) {
      const std::uint16_t f = m[row][col];
      if (row == col || f == 0) continue;
      for (std::size_t k = 0; k < n; ++k) {
        m[row][k] ^= gf16::mul(f, m[col][k]);
        inv[row][k] ^= gf16::mul(f, inv[col][k]);
      }
    }
  }
  m = std::move(inv);
  return true;
}

// Read descriptors of the folder's files, a bounded number kept open.
class ReadFiles {
 public:
  explicit ReadFiles(const Folder& folder) : folder_(folder) {}
  // Bytes [offset, offset + out.size()) of `name`, zeros past its end.
  bool read(const std::string& name, std::uint64_t offset, std::span<unsigned char> out,
            std::string* error) {
    auto it = open_.find(name);
    if (it == open_.end()) {
      if (open_.size() >= 64) open_.clear();
      auto fd = folder_.open_regular(name, error);
      if (!fd) {
        *error = name + ": " + *error;
        return false;
      }
      it = open_.emplace(name, std::move(*fd)).first;
    }
    const auto got = read_at(it->second.get(), offset, out);
    if (!got) {
      *error = name + ": read error";
      return false;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(*got), out.end(), 0);
    return true;
  }

 private:
  const Folder& folder_;
  std::map<std::string, UniqueFd> open_;
};

struct Output {
  std::size_t file = 0;      // index in the set
  std::string temporary;     // its name in the folder
  UniqueFd fd;
};

class Repairer {
 public:
  Repairer(const RecoverySet& set, const Verification& v, const Limits& limits, const Folder& folder)
      : set_(set), v_(v), limits_(limits), folder_(folder), pool_(worker_count(limits.threads)) {
    for (unsigned w = 0; w < pool_.size(); ++w) reads_.emplace_back(folder);
  }

  RepairResult run();

 private:
  bool create_outputs();
  bool rebuild_missing_blocks();
  struct Piece {
    const std::string* file;
    std::uint64_t offset;
  };
  void share_out(std::size_t bytes, const std::function<void(unsigned)>& task);
  bool read_pieces(std::size_t count, const std::function<Piece(std::size_t)>& where, std::size_t width,
                   Buffers* into);
  bool rebuild_stripe(const std::vector<std::uint32_t>& missing, const Matrix& inverse,
                      std::uint64_t offset, std::size_t width, Buffers* sums,
                      std::vector<unsigned char>* rebuilt, Buffers* in);
  void add_known_blocks(const std::vector<std::uint32_t>& blocks, const Buffers& in, std::size_t width,
                        Buffers* sums);
  void combine_sums(const std::vector<std::uint16_t>& factors, const Buffers& sums, std::size_t width,
                    std::vector<unsigned char>* rebuilt);
  bool write_block_piece(std::uint32_t block, std::uint64_t offset, std::span<const unsigned char> data);
  std::string copy_known_blocks(const Output& out, ReadFiles* reads) const;
  std::string check_output(const Output& out) const;
  bool finish_outputs();
  bool put_in_place(const Output& out);
  bool put_found_copies_in_place();
  void discard_outputs();
  bool fail(std::string error) {
    result_.error = std::move(error);
    return false;
  }

  const RecoverySet& set_;
  const Verification& v_;
  const Limits& limits_;
  const Folder& folder_;
  std::deque<ReadFiles> reads_;  // one per worker
  const gf16::BlockKernel& kernel_ = gf16::block_kernel();
  WorkerPool pool_;
  std::vector<gf16::MulTable> tables_;  // [known block in group][recovery block in group]
  std::vector<Output> outputs_;
  std::map<std::size_t, std::size_t> output_of_file_;
  RepairResult result_;
};

bool Repairer::create_outputs() {
  for (std::size_t i = 0; i < set_.files.size(); ++i) {
    const Verdict verdict = v_.files[i].verdict;
    if (verdict != Verdict::damaged && verdict != Verdict::missing) continue;
    Output out;
    out.file = i;
    std::string error;
    auto fd = folder_.create_temporary(set_.files[i].name, &out.temporary, &error);
    if (!fd) return fail(error);
    out.fd = std::move(*fd);
    output_of_file_[i] = outputs_.size();
    outputs_.push_back(std::move(out));
  }
  return true;
}

bool Repairer::rebuild_missing_blocks() {
  std::vector<std::uint32_t> missing;
  for (std::uint32_t b = 0; b < v_.blocks.size(); ++b)
    if (!v_.blocks[b].found) missing.push_back(b);
  if (missing.empty()) return true;
  const std::size_t m = missing.size();
  if (m > set_.recovery.size()) return fail("not enough recovery blocks");
  Matrix a(m, std::vector<std::uint16_t>(m));
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t j = 0; j < m; ++j)
      a[r][j] = gf16::pow(gf16::input_constant(missing[j]), set_.recovery[r].exponent);
  if (!invert(&a)) return fail("the recovery blocks at hand do not determine the missing blocks");

  const std::uint64_t slice = set_.slice_size;
  const std::size_t known = v_.blocks.size() - m;
  const std::size_t group = std::clamp<std::size_t>(known, 1, kInputGroup);
  // The sums, one block rebuilt from them, and a group of known blocks.
  std::uint64_t stripe = std::min<std::uint64_t>(slice, limits_.repair_buffer_bytes / (m + 1 + group));
  stripe = std::max<std::uint64_t>(4, stripe - stripe % 4);
  Buffers sums(m, std::vector<unsigned char>(stripe));
  std::vector<unsigned char> rebuilt(stripe);
  Buffers in(group, std::vector<unsigned char>(stripe));
  tables_.resize(group * kTableGroup);
  for (std::uint64_t offset = 0; offset < slice; offset += stripe) {
    const auto width = static_cast<std::size_t>(std::min<std::uint64_t>(stripe, slice - offset));
    if (!rebuild_stripe(missing, a, offset, width, &sums, &rebuilt, &in)) return false;
  }
  return true;
}

bool Repairer::rebuild_stripe(const std::vector<std::uint32_t>& missing, const Matrix& inverse,
                              std::uint64_t offset, std::size_t width, Buffers* sums,
                              std::vector<unsigned char>* rebuilt, Buffers* in) {
  const std::size_t m = missing.size();
  const auto recovery_at = [&](std::size_t r) {
    return Piece{&set_.recovery[r].volume, set_.recovery[r].data_offset + offset};
  };
  if (!read_pieces(m, recovery_at, width, sums)) return false;
  std::vector<std::uint32_t> known;
  for (std::uint32_t b = 0; b < v_.blocks.size(); ++b)
    if (v_.blocks[b].found) known.push_back(b);
  std::vector<std::uint32_t> blocks;
  for (std::size_t first = 0; first < known.size(); first += in->size()) {
    blocks.assign(known.begin() + static_cast<std::ptrdiff_t>(first),
                  known.begin() + static_cast<std::ptrdiff_t>(std::min(known.size(), first + in->size())));
    const auto known_at = [&](std::size_t g) {
      return Piece{&v_.blocks[blocks[g]].file, v_.blocks[blocks[g]].offset + offset};
    };
    if (!read_pieces(blocks.size(), known_at, width, in)) return false;
    add_known_blocks(blocks, *in, width, sums);
  }
  for (std::size_t j = 0; j < m; ++j) {
    combine_sums(inverse[j], *sums, width, rebuilt);
    kernel_.leave(rebuilt->data(), width);
    if (!write_block_piece(missing[j], offset, std::span(*rebuilt).first(width))) return false;
  }
  return true;
}

// Runs task(w) for every worker w: on the workers' threads when the round
// handles `bytes` enough to be worth it, else one after another on this one.
void Repairer::share_out(std::size_t bytes, const std::function<void(unsigned)>& task) {
  if (bytes >= kWorthSharing) {
    pool_.run(task);
    return;
  }
  for (unsigned w = 0; w < pool_.size(); ++w) task(w);
}

// Pieces 0..count-1 of the stripe into `into`, in the kernel's layout, the
// workers reading side by side through descriptors of their own.
bool Repairer::read_pieces(std::size_t count, const std::function<Piece(std::size_t)>& where,
                           std::size_t width, Buffers* into) {
  std::vector<std::string> errors(count);
  share_out(count * width, [&](unsigned w) {
    for (std::size_t i = w; i < count; i += pool_.size()) {
      const Piece piece = where(i);
      unsigned char* data = (*into)[i].data();
      if (reads_[w].read(*piece.file, piece.offset, std::span(data, width), &errors[i]))
        kernel_.enter(data, width);
      else if (errors[i].empty())
        errors[i] = *piece.file + ": read error";
    }
  });
  for (std::string& error : errors)
    if (!error.empty()) return fail(std::move(error));
  return true;
}

// sums[r] += constant(b)^exponent(r) * in[g] for every known block b = blocks[g].
void Repairer::add_known_blocks(const std::vector<std::uint32_t>& blocks, const Buffers& in,
                                std::size_t width, Buffers* sums) {
  const std::size_t m = sums->size();
  const unsigned workers = pool_.size();
  for (std::size_t first = 0; first < m; first += kTableGroup) {
    const std::size_t count = std::min(kTableGroup, m - first);
    share_out(count * blocks.size() * 512, [&](unsigned w) {
      for (std::size_t g = w; g < blocks.size(); g += workers) {
        const std::uint16_t constant = gf16::input_constant(blocks[g]);
        for (std::size_t k = 0; k < count; ++k)
          tables_[g * kTableGroup + k] = gf16::make_table(gf16::pow(constant, set_.recovery[first + k].exponent));
      }
    });
    share_out(count * blocks.size() * width, [&](unsigned w) {
      const auto [begin, end] = share(w, workers, width);
      for (std::size_t at = begin; at < end; at += kCacheChunk) {
        const std::size_t n = std::min(kCacheChunk, end - at);
        for (std::size_t k = 0; k < count; ++k)
          for (std::size_t g = 0; g < blocks.size(); ++g)
            kernel_.mul_acc((*sums)[first + k].data() + at, in[g].data() + at, tables_[g * kTableGroup + k], n);
      }
    });
  }
}

// rebuilt = sum over r of factors[r] * sums[r].
void Repairer::combine_sums(const std::vector<std::uint16_t>& factors, const Buffers& sums,
                            std::size_t width, std::vector<unsigned char>* rebuilt) {
  share_out(sums.size() * width, [&](unsigned w) {
    const auto [begin, end] = share(w, pool_.size(), width);
    std::fill(rebuilt->begin() + static_cast<std::ptrdiff_t>(begin),
              rebuilt->begin() + static_cast<std::ptrdiff_t>(end), 0);
    for (std::size_t r = 0; r < sums.size(); ++r)
      if (factors[r] != 0)
        kernel_.mul_acc(rebuilt->data() + begin, sums[r].data() + begin, gf16::make_table(factors[r]), end - begin);
  });
}

// Writes the part of a rebuilt block's stripe that lies within its file.
bool Repairer::write_block_piece(std::uint32_t block, std::uint64_t offset,
                                 std::span<const unsigned char> data) {
  for (std::size_t i = 0; i < set_.files.size(); ++i) {
    const SetFile& f = set_.files[i];
    if (block < f.first_block || block >= f.first_block + f.block_count) continue;
    const auto out = output_of_file_.find(i);
    if (out == output_of_file_.end()) return true;  // a complete file's block: nothing to write
    const std::uint64_t at = std::uint64_t{block - f.first_block} * set_.slice_size + offset;
    if (at >= f.length) return true;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), f.length - at));
    if (!write_at(outputs_[out->second].fd.get(), at, data.first(n)))
      return fail(outputs_[out->second].temporary + ": write error");
    return true;
  }
  return true;
}

// The error, or an empty string.
std::string Repairer::copy_known_blocks(const Output& out, ReadFiles* reads) const {
  const SetFile& f = set_.files[out.file];
  std::vector<unsigned char> chunk(std::min<std::uint64_t>(kCopyChunk, set_.slice_size));
  std::string error;
  for (std::uint32_t b = 0; b < f.block_count; ++b) {
    const BlockSource& s = v_.blocks[f.first_block + b];
    if (!s.found) continue;
    const std::uint64_t start = std::uint64_t{b} * set_.slice_size;
    const std::uint64_t size = std::min<std::uint64_t>(set_.slice_size, f.length - start);
    for (std::uint64_t done = 0; done < size;) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
      if (!reads->read(s.file, s.offset + done, std::span(chunk).first(n), &error)) return error;
      if (!write_at(out.fd.get(), start + done, std::span(chunk).first(n))) return out.temporary + ": write error";
      done += n;
    }
  }
  if (::ftruncate(out.fd.get(), static_cast<off_t>(f.length)) != 0) return out.temporary + ": cannot set its length";
  return {};
}

// The whole file read back: only an exact copy of the original goes in place.
// The error, or an empty string.
std::string Repairer::check_output(const Output& out) const {
  const SetFile& f = set_.files[out.file];
  if (::fsync(out.fd.get()) != 0) return out.temporary + ": cannot be written to disk";
  Md5 md5;
  std::vector<unsigned char> chunk(std::clamp<std::uint64_t>(f.length, 1, kCopyChunk));
  std::uint64_t at = 0;
  while (true) {
    const auto n = read_at(out.fd.get(), at, chunk);
    if (!n) return out.temporary + ": read error";
    if (*n == 0) break;
    md5.update(std::span(chunk).first(*n));
    at += *n;
  }
  if (at != f.length || md5.finish() != f.md5_full) return f.name + ": the repaired file does not match its MD5";
  return {};
}

// Every output completed and checked, several at once, each with descriptors
// of its own; the first failure in the set's order is reported.
bool Repairer::finish_outputs() {
  std::vector<std::string> errors(outputs_.size());
  for_each_index(outputs_.size(), pool_.size(), [&](std::size_t i) {
    ReadFiles reads(folder_);
    errors[i] = copy_known_blocks(outputs_[i], &reads);
    if (errors[i].empty()) errors[i] = check_output(outputs_[i]);
  });
  for (std::string& error : errors)
    if (!error.empty()) return fail(std::move(error));
  return true;
}

// The damaged original steps aside as name.N while the new file takes its name.
bool Repairer::put_in_place(const Output& out) {
  const std::string& name = set_.files[out.file].name;
  std::string aside, error;
  if (folder_.exists(name)) {
    for (int n = 1; n < 1000 && aside.empty(); ++n)
      if (!folder_.exists(name + "." + std::to_string(n))) aside = name + "." + std::to_string(n);
    if (aside.empty() || !folder_.rename_noreplace(name, aside, &error))
      return fail(name + ": the damaged file cannot be moved aside: " + error);
  }
  if (!folder_.rename_noreplace(out.temporary, name, &error)) {
    if (!aside.empty()) folder_.rename_noreplace(aside, name, &error);
    return fail(name + ": " + error);
  }
  if (!aside.empty() && !folder_.remove(aside))
    return fail(aside + ": the damaged original cannot be removed");
  result_.repaired.push_back(name);
  return true;
}

bool Repairer::put_found_copies_in_place() {
  std::string error;
  for (std::size_t i = 0; i < set_.files.size(); ++i) {
    if (v_.files[i].verdict != Verdict::found_elsewhere) continue;
    if (!folder_.rename_noreplace(v_.files[i].other_name, set_.files[i].name, &error))
      return fail(set_.files[i].name + ": " + error);
    result_.repaired.push_back(set_.files[i].name);
  }
  return true;
}

void Repairer::discard_outputs() {
  for (const Output& out : outputs_) folder_.remove(out.temporary);
  outputs_.clear();
}

RepairResult Repairer::run() {
  bool ok = create_outputs() && rebuild_missing_blocks() && finish_outputs();
  if (!ok) {
    discard_outputs();
    return result_;
  }
  // Other files' blocks may be read from the copies found, so they move last.
  for (const Output& out : outputs_) {
    if (!put_in_place(out)) {
      discard_outputs();
      return result_;
    }
  }
  outputs_.clear();
  result_.ok = put_found_copies_in_place();
  return result_;
}

}  // namespace

RepairResult repair(const RecoverySet& set, const Verification& verification, const Limits& limits) {
  RepairResult result;
  if (verification.all_correct) {
    result.ok = true;
    return result;
  }
  if (!verification.repairable) {
    result.error = "the set is not repairable";
    return result;
  }
  std::string error;
  const auto folder = Folder::open(set.folder, &error);
  if (!folder) {
    result.error = error;
    return result;
  }
  return Repairer(set, verification, limits, *folder).run();
}

}  // namespace vantorelle::par2
