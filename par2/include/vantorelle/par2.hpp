// par2.hpp - PAR2 2.0 recovery sets: reading the packets, verifying the files, repairing them.
//
// A set is read from one .par2 file and the other volumes of the same set
// beside it (same base name, same set ID). Everything the set names lives in
// that one folder: names from packets are never paths, links are never
// followed, and nothing is written outside the folder.
//
// Memory is bounded by Limits: packets other than recovery slices are held in
// memory (each at most max_packet_body bytes, all together at most
// max_metadata_bytes); recovery data stays on disk and is read in stripes;
// verification holds two slices; repair at most repair_buffer_bytes of block
// buffers plus one slice.
//
// Not thread safe per object; separate sets may be handled on separate threads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vantorelle::par2 {

using Digest = std::array<std::uint8_t, 16>;

// The bounds every count and length in a PAR2 file is checked against.
struct Limits {
  std::uint64_t max_slice_size = 256u << 20;        // bytes per block
  std::uint32_t max_packet_body = 4u << 20;         // any packet but a recovery slice
  std::uint64_t max_metadata_bytes = 64u << 20;     // all such packets of a set
  std::uint32_t max_files = 100000;                 // files named by the Main packet
  std::uint32_t max_volumes = 1000;                 // .par2 files read for one set
  std::uint64_t repair_buffer_bytes = 256u << 20;   // block buffers during repair
  // Threads for verification (one file each, two slices apiece) and repair
  // (a share of every stripe each); 0: one per core. VANTORELLE_THREADS=N in
  // the environment caps either.
  unsigned threads = 0;
};

// The PAR2 format allows at most this many input blocks (the number of usable
// GF(2^16) constants).
inline constexpr std::uint32_t kMaxInputBlocks = 32768;

struct BlockCheck {
  Digest md5{};
  std::uint32_t crc = 0;
};

// One file of the recovery set, in the order of the Main packet.
struct SetFile {
  Digest id{};
  bool described = false;       // a File Description packet was read
  Digest md5_full{};
  Digest md5_16k{};
  std::uint64_t length = 0;
  std::string name;             // as in the packet (validated by the verifier)
  std::vector<BlockCheck> blocks;  // from the IFSC packet; empty when none was read
  std::uint32_t block_count = 0;   // ceil(length / slice size) once described
  std::uint32_t first_block = 0;   // index of its first block in the whole set
};

struct RecoveryBlock {
  std::uint32_t exponent = 0;
  std::string volume;            // file name within the folder
  std::uint64_t data_offset = 0; // where its slice-size bytes of data start
};

struct ReadStats {
  std::uint32_t volumes = 0;         // .par2 files read
  std::uint32_t packets = 0;         // good packets
  std::uint32_t damaged_packets = 0; // bad MD5, bad length, cut off or malformed body
  std::uint32_t unknown_packets = 0; // good packets of a type we do not use
  std::uint32_t other_sets = 0;      // good packets of another set ID, ignored
};

struct RecoverySet {
  std::string folder;              // where the set and its files live
  Digest set_id{};
  std::uint64_t slice_size = 0;
  std::vector<SetFile> files;      // the recovery set; non-recovery files are not kept
  std::uint32_t total_blocks = 0;
  std::vector<RecoveryBlock> recovery;  // distinct exponents, in increasing order
  std::string creator;
  ReadStats stats;
  std::vector<std::string> notes;  // volumes that could not be read, and why
};

struct ReadResult {
  bool ok = false;
  std::string error;   // names the file and the reason when !ok
  RecoverySet set;
};

// Reads `par2_path` and the other volumes of its set in the same folder. Fails
// when no Main packet is found or the set breaks a limit.
ReadResult read_set(const std::string& par2_path, const Limits& limits = {});

enum class Verdict {
  complete,        // the file is there and its MD5 matches
  damaged,         // there, but wrong: `missing_blocks` lists blocks found nowhere
  missing,         // not there, not found under another name
  found_elsewhere, // not there, but a complete copy is in the folder as `other_name`
  refused,         // the name is not a plain file name in the folder, or not a regular file
  undescribed,     // no File Description packet survived
};

struct FileReport {
  std::string name;
  Verdict verdict = Verdict::missing;
  std::string other_name;                  // found_elsewhere
  std::vector<std::uint32_t> missing_blocks;  // within the file, counted from 0
  std::uint32_t block_count = 0;
  std::string problem;                     // refused / undescribed / read errors
};

// Where an intact copy of one input block was found.
struct BlockSource {
  bool found = false;
  std::string file;
  std::uint64_t offset = 0;
};

struct Verification {
  std::vector<FileReport> files;       // one per SetFile, same order
  std::vector<BlockSource> blocks;     // one per input block of the set
  std::uint32_t missing_blocks = 0;    // input blocks found nowhere
  std::uint32_t recovery_blocks = 0;   // usable recovery blocks
  bool all_correct = false;
  bool repairable = false;             // all correct, or enough recovery blocks and all names usable
  std::string error;                   // the folder could not be read
};

// Reads every file of the set once (and other files of the folder whose size
// and first-16 KiB MD5 match a missing one), checking blocks by CRC-32 and MD5
// with a sliding window, so blocks moved by inserted or lost bytes are found.
Verification verify(const RecoverySet& set, const Limits& limits = {});

struct RepairResult {
  bool ok = false;
  std::vector<std::string> repaired;  // names put in place
  std::string error;                  // names the file and the reason when !ok
};

// Rebuilds the missing blocks from the recovery blocks and puts every file that
// is not complete in place: written under a temporary name in the folder, moved
// to its name only when its whole MD5 matches; a damaged original is moved to
// `name.1` meanwhile and removed once the new file is in place. Needs
// verification.repairable.
RepairResult repair(const RecoverySet& set, const Verification& verification,
                    const Limits& limits = {});

// The summary line: "PAR2: all files correct", "PAR2: N blocks damaged, M
// recovery blocks: repairable" or "...: not repairable (K more needed)".
std::string summary_text(const Verification& verification);

// One line for a file's verdict, as the command prints it.
std::string verdict_text(const FileReport& report);

}  // namespace vantorelle::par2
