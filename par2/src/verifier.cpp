// verifier.cpp - a verdict for every file of a set, and where each of its blocks can be read.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "block_scanner.hpp"
#include "folder.hpp"
#include "md5.hpp"
#include "workers.hpp"

namespace vantorelle::par2 {
namespace {

constexpr std::size_t k16KiB = 16384;

// A scan of the file under `name` shows it is the set's file `f`.
bool is_original(const SetFile& f, const ScanResult& scan) {
  if (!scan.read_ok || scan.size != f.length) return false;
  if (f.blocks.empty()) return scan.md5 == f.md5_full;
  return scan.own_in_place == f.block_count;
}

// Blocks seen in the file under `name` whose place is not yet known are read from there.
void take_seen(const std::vector<BlockSeen>& seen, const std::string& name, std::vector<BlockSource>* sources) {
  for (const BlockSeen& b : seen) {
    BlockSource& s = (*sources)[b.block];
    if (!s.found) s = BlockSource{true, name, b.offset};
  }
}

// The place of every block of a file known to be the original.
void take_whole_file(const RecoverySet& set, const SetFile& f, const std::string& name,
                     std::vector<BlockSource>* sources) {
  for (std::uint32_t b = 0; b < f.block_count; ++b)
    (*sources)[f.first_block + b] = BlockSource{true, name, std::uint64_t{b} * set.slice_size};
}

// Scans the file under its own name; the blocks seen are merged later, in the set's file order,
// so the sources found do not depend on which file's scan ended first.
void check_own_name(const RecoverySet& set, const Folder& folder, const BlockIndex& index,
                    const SetFile& f, FileReport* report, std::vector<BlockSeen>* seen) {
  if (!f.described) {
    report->verdict = Verdict::undescribed;
    report->problem = "no File Description packet";
    return;
  }
  if (!is_plain_name(f.name)) {
    report->verdict = Verdict::refused;
    report->problem = "not a plain file name";
    return;
  }
  std::string error;
  int open_errno = 0;
  const auto fd = folder.open_regular(f.name, &error, &open_errno);
  if (!fd) {
    report->verdict = open_errno == ENOENT ? Verdict::missing : Verdict::refused;
    if (open_errno != ENOENT) report->problem = error;
    return;
  }
  const ScanResult scan =
      scan_file(fd->get(), set.slice_size, index, {f.first_block, f.block_count}, f.blocks.empty(), seen);
  if (!scan.read_ok) report->problem = "read error";
  report->verdict = is_original(f, scan) ? Verdict::complete : Verdict::damaged;
}

// Every file under its own name, as many at once as there are workers and
// room for their windows of two slices each.
void check_own_names(const RecoverySet& set, const Folder& folder, const BlockIndex& index,
                     const Limits& limits, Verification* v) {
  std::vector<std::size_t> todo;
  std::set<std::string> names;
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    v->files[i].name = set.files[i].name;
    v->files[i].block_count = set.files[i].block_count;
    // Two files of one name could never both be put in place.
    if (set.files[i].described && !names.insert(set.files[i].name).second) {
      v->files[i].verdict = Verdict::refused;
      v->files[i].problem = "named twice in the set";
      continue;
    }
    todo.push_back(i);
  }
  const std::uint64_t room = std::max<std::uint64_t>(1, limits.repair_buffer_bytes / (2 * set.slice_size + 1));
  const auto workers = static_cast<unsigned>(std::min<std::uint64_t>(worker_count(limits.threads), room));
  std::vector<std::vector<BlockSeen>> seen(todo.size());
  for_each_index(todo.size(), workers, [&](std::size_t t) {
    check_own_name(set, folder, index, set.files[todo[t]], &v->files[todo[t]], &seen[t]);
  });
  for (std::size_t t = 0; t < todo.size(); ++t) {
    const SetFile& f = set.files[todo[t]];
    take_seen(seen[t], f.name, &v->blocks);
    if (v->files[todo[t]].verdict == Verdict::complete) take_whole_file(set, f, f.name, &v->blocks);
  }
}

std::optional<Digest> md5_16k(const Folder& folder, const std::string& name, std::uint64_t length) {
  std::string error;
  const auto fd = folder.open_regular(name, &error);
  if (!fd) return std::nullopt;
  std::vector<unsigned char> head(std::min<std::uint64_t>(length, k16KiB));
  if (read_at(fd->get(), 0, head).value_or(0) != head.size()) return std::nullopt;
  return md5_of(head);
}

// Files of the folder not named by the set, whose size and first 16 KiB match
// a missing file: obfuscated postings use random names.
void find_under_other_names(const RecoverySet& set, const Folder& folder, const BlockIndex& index,
                            Verification* v) {
  std::set<std::string> taken;
  for (const SetFile& f : set.files) taken.insert(f.name);
  std::vector<std::string> others;
  for (std::string& name : folder.regular_files())
    if (!taken.count(name)) others.push_back(std::move(name));
  std::sort(others.begin(), others.end());
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const SetFile& f = set.files[i];
    FileReport& report = v->files[i];
    if (report.verdict != Verdict::missing) continue;
    for (const std::string& name : others) {
      if (taken.count(name)) continue;
      struct stat st{};
      std::string error;
      const auto fd = folder.open_regular(name, &error);
      if (!fd || ::fstat(fd->get(), &st) != 0 || static_cast<std::uint64_t>(st.st_size) != f.length)
        continue;
      if (md5_16k(folder, name, f.length) != f.md5_16k) continue;
      std::vector<BlockSeen> seen;
      const ScanResult scan =
          scan_file(fd->get(), set.slice_size, index, {f.first_block, f.block_count}, f.blocks.empty(), &seen);
      take_seen(seen, name, &v->blocks);
      if (is_original(f, scan)) {
        report.verdict = Verdict::found_elsewhere;
        report.other_name = name;
        taken.insert(name);
        take_whole_file(set, f, name, &v->blocks);
        break;
      }
    }
  }
}

}  // namespace

Verification verify(const RecoverySet& set, const Limits& limits) {
  Verification v;
  v.blocks.resize(set.total_blocks);
  v.files.resize(set.files.size());
  std::string error;
  const auto folder = Folder::open(set.folder, &error);
  if (!folder) {
    v.error = error;
    return v;
  }
  const BlockIndex index(set);
  check_own_names(set, *folder, index, limits, &v);
  if (std::any_of(v.files.begin(), v.files.end(), [](const FileReport& r) { return r.verdict == Verdict::missing; }))
    find_under_other_names(set, *folder, index, &v);

  bool placeable = true;
  v.all_correct = true;
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const SetFile& f = set.files[i];
    FileReport& r = v.files[i];
    if (r.verdict != Verdict::complete) v.all_correct = false;
    if (r.verdict == Verdict::refused || r.verdict == Verdict::undescribed) placeable = false;
    for (std::uint32_t b = 0; b < f.block_count; ++b)
      if (!v.blocks[f.first_block + b].found) r.missing_blocks.push_back(b);
  }
  v.missing_blocks = static_cast<std::uint32_t>(
      std::count_if(v.blocks.begin(), v.blocks.end(), [](const BlockSource& s) { return !s.found; }));
  v.recovery_blocks = static_cast<std::uint32_t>(set.recovery.size());
  v.repairable = v.all_correct || (placeable && v.missing_blocks <= v.recovery_blocks);
  return v;
}

}  // namespace vantorelle::par2
