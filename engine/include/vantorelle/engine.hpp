// engine.hpp - the decoding engine's interface: hooks, catalogue, scanner, assembly.
//
// The engine turns saved news articles back into the binaries they carry. It
// uses nothing but the standard library and reports only through six hooks that
// the application registers. Everything here runs on the caller's thread; the
// hook registry is process-wide, so one decode run may be in progress at a time.
//
// A run:  Catalogue cat;  for each input: uuScanFile(cat, path);
//         for each record: uuDecode(&record);  for each record: uuRemove(&record);
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vantorelle {

// ---------------------------------------------------------------------------
// Limits and codes
// ---------------------------------------------------------------------------

inline constexpr std::size_t kLineCapacity = 1024;   // characters kept of one input line
inline constexpr std::size_t kMaxNameLength = 255;   // characters of dest_name
inline constexpr std::size_t kMaxMessageLength = 511;  // bytes of a formatted message

// Message levels. The engine sends 0, 1 and 2; the application adds 9.
enum MessageLevel : int {
  kLevelError = 0,    // an output file or one of its parts failed
  kLevelWarning = 1,  // parts are missing; decoding goes on
  kLevelNote = 2,     // a small irregularity in uuencoded data
  kLevelSummary = 9,  // the application's end-of-run summary
};

// First argument of the busy hook.
enum BusyType : int {
  kBusyPoll = 0,      // keep-alive: state 0, text ""; percent 0, or inside a part how far through it decoding is
  kBusyScanning = 1,  // once per input file: state -1, percent 0, the input path
  kBusyDecoding = 2,  // state -1 first, then state 0 with percent per part; the output path
};

// Record kinds.
enum FileKind : std::int32_t {
  kKindUU = 0,
  kKindYEnc = 6,
};

// Results of the segment decoders.
enum DecodeResult : int {
  kDecodeOk = 0,           // the part was decoded, or there was nothing to decode
  kDecodeWriteFailed = 2,  // writing to the output file failed
  kDecodeEarlyEof = 3,     // the input ended before the part's data did (uuencode only)
  kDecodeCrcMismatch = 4,  // the decoded part does not match its pcrc32 (yEnc only)
  kDecodeStopped = 5,      // a stop was requested at a poll inside the part
};

inline constexpr std::uint32_t kNoCrc = 0xFFFFFFFFu;  // part_crc: "not given"

// ---------------------------------------------------------------------------
// Hooks
// ---------------------------------------------------------------------------

// Message hook: a finished message (at most 511 bytes) and its level. Result unused.
using MsgHook = std::function<int(int level, std::string_view text)>;
// Busy hook: type, state, text (valid during the call only), percent. A nonzero
// result asks the engine to stop the run (as uuRequestStop does).
using BusyHook = std::function<int(int type, int state, std::string_view text, int percent)>;
// Directory hook: the record's dest_name and its subject text, which the hook may
// rewrite in place (the change is kept in the catalogue). Result ignored.
using DirectoryHook = std::function<int(const std::string& dest_name, std::string& subject)>;
// File-name filter: the record's dest_name, which the filter may rewrite in place
// (it is cut back to 255 characters afterwards); returns the output path.
using FNameFilterHook = std::function<std::string(std::string& dest_name)>;
// Input-removal hook: an input file the engine has finished with. Result ignored.
using InputRemoveHook = std::function<int(const std::string& path)>;
// Post-process hook: an output file after it has been closed. Result ignored.
using PostProcessHook = std::function<int(const std::string& path)>;

// Registration. An empty function empties the slot; slots keep their hooks
// across runs until replaced.
int uuInitialize();                                    // 0; changes nothing
int uuSetMsgCallback(MsgHook hook);                    // 0
int uuSetBusyCallback(BusyHook hook, int interval_ms); // 0; interval becomes busy_msecs
void uuSetDirectoryCallback(DirectoryHook hook);
void uuSetFNameFilter(FNameFilterHook hook);
int uuSetInputRemoveCallback(InputRemoveHook hook);    // 1
int uuSetPostProcessOutputCallback(PostProcessHook hook);  // 1

// Ending a run early. A stop requested (here, or by a nonzero busy-hook result)
// is seen at the next keep-alive poll or part boundary: uuScanFile stops
// reading and keeps the parts found so far; uuDecode closes its output as it
// stands, sends no further message for it and skips the post-process hook,
// and returns 1. The request stays until uuClearStop, which a run calls first.
// Removing the cut-short output and keeping the inputs is the caller's part.
void uuRequestStop();
void uuClearStop();
bool uuStopRequested();

// ---------------------------------------------------------------------------
// Output files
// ---------------------------------------------------------------------------

// An output is written under a hidden name in its folder, ".NAME.vantorelle-"
// and six letters or digits, and moved to its own name when it is finished.
// Whether `name` (one path component) is such a name.
bool uuIsTemporaryOutputName(std::string_view name);

// The name to try when the one an output was made for has been taken by a
// file with data by the time the output is finished: the path asked for and
// the how-many-th retry (0, 1, ...). The application puts its unique-name
// rule here; without one, "-(attempt)" goes before the extension.
using NextOutputNameHook = std::function<std::string(const std::string& wanted, int attempt)>;
void uuSetNextOutputName(NextOutputNameHook hook);

// Closes and removes the output being written, if any (its temporary file),
// for a process that ends in the middle of a file; outputs finished earlier
// stay. Safe to call at any time, also when nothing is being written.
void uuDiscardOutputInProgress();

// ---------------------------------------------------------------------------
// Catalogue
// ---------------------------------------------------------------------------

// One part found in an input file.
struct SegmentRecord {
  // (Wide fields first: a catalogue may hold a million of these.)
  std::string source_path;         // the input file, exactly as the scanner got it
  std::uint64_t start_offset = 0;  // where the decoder starts reading
  std::uint64_t end_offset = 0;    // the decoder stops once its position passes this
  std::int64_t yenc_begin = 0;     // "begin=" of the last =ypart line
  std::int64_t yenc_end = 0;       // "end=" of the last =ypart line
  std::int32_t part = 0;           // part number from the subject counter (1 without one)
  std::int32_t yenc_part = 0;      // "part=" of the last =ybegin line
  std::uint32_t part_crc = kNoCrc; // expected CRC-32 of the part's bytes
  bool yenc_range = false;         // the last =ypart line gave both begin= and end=
  // Opened by a "begin " line of a file without a Subject line: the uuencoded
  // data is searched for from the start, there is no article header to skip.
  bool headerless = false;
  // The scanner read the whole segment and met no "begin " line in it, so the
  // decoder need not look for one.
  bool no_begin_line = false;
};

// The segments of one record in the order they were found. Each keeps its
// address while the list lives (and is not moved), as the scanner holds on to
// the current one. The first segment lives in the list itself, so a record of
// one segment needs no further allocation: a catalogue may hold a million.
class SegmentList {
 public:
  template <typename List, typename Value>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = SegmentRecord;
    using difference_type = std::ptrdiff_t;
    using pointer = Value*;
    using reference = Value&;
    Iterator() = default;
    Iterator(List* list, std::size_t at) : list_(list), at_(at) {}
    reference operator*() const { return (*list_)[at_]; }
    pointer operator->() const { return &(*list_)[at_]; }
    Iterator& operator++() {
      ++at_;
      return *this;
    }
    Iterator operator++(int) { return Iterator(list_, at_++); }
    bool operator==(const Iterator&) const = default;

   private:
    List* list_ = nullptr;
    std::size_t at_ = 0;
  };
  using iterator = Iterator<SegmentList, SegmentRecord>;
  using const_iterator = Iterator<const SegmentList, const SegmentRecord>;

  SegmentList() = default;
  SegmentList(const SegmentList& other) : first_(other.first_) {
    rest_.reserve(other.rest_.size());
    for (const auto& item : other.rest_) rest_.push_back(std::make_unique<SegmentRecord>(*item));
  }
  SegmentList& operator=(const SegmentList& other) {
    if (this != &other) *this = SegmentList(other);
    return *this;
  }
  SegmentList(SegmentList&&) noexcept = default;
  SegmentList& operator=(SegmentList&&) noexcept = default;

  SegmentRecord& emplace_back() {
    if (!first_) return first_.emplace();
    return *rest_.emplace_back(std::make_unique<SegmentRecord>());
  }
  std::size_t size() const { return first_ ? 1 + rest_.size() : 0; }
  bool empty() const { return !first_; }
  SegmentRecord& operator[](std::size_t i) { return i == 0 ? *first_ : *rest_[i - 1]; }
  const SegmentRecord& operator[](std::size_t i) const { return i == 0 ? *first_ : *rest_[i - 1]; }
  SegmentRecord& front() { return *first_; }
  const SegmentRecord& front() const { return *first_; }
  SegmentRecord& back() { return (*this)[size() - 1]; }
  const SegmentRecord& back() const { return (*this)[size() - 1]; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size()}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

 private:
  std::optional<SegmentRecord> first_;
  std::vector<std::unique_ptr<SegmentRecord>> rest_;
};

// What assembly made of one part of an output file, for a damage report.
enum PartState : std::int32_t {
  kPartGood = 0,
  kPartDamaged = 1,  // decoded with a loss: a message at level 0 or 1 came with it
};
enum CrcStatus : std::int32_t {
  kCrcNotGiven = 0,   // the posting carried no CRC-32 for it
  kCrcVerified = 1,
  kCrcMismatch = 2,
  kCrcNotChecked = 3,  // one was given, but the data ended before it could be checked
};

struct PartOutcome {
  std::string source_path;          // the input it came from
  std::uint64_t source_offset = 0;  // where its segment starts in that input
  std::uint64_t source_line = 0;    // the line there, from 1; 0 until a caller counts it
  std::uint64_t offset = 0;         // where its bytes start in the output
  std::uint64_t length = 0;         // how many of them are there
  std::int32_t part = 0;
  std::int32_t state = kPartGood;
  std::int32_t crc = kCrcNotGiven;
};

struct ByteRange {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

// One output file that assembly made or tried to make.
struct OutputOutcome {
  std::string name;          // the file name from the data
  std::string path;          // the name the file really got; empty when none is left
  bool at_offsets = false;   // yEnc parts written at the byte ranges they gave
  std::uint64_t size = 0;    // bytes in the file
  std::vector<PartOutcome> parts;  // the parts found, in part order
  std::vector<std::pair<std::int64_t, std::int64_t>> missing;  // part numbers, first to last
  std::vector<ByteRange> holes;    // ranges no part filled, left as zeros
  std::int32_t file_crc = kCrcNotGiven;
};

// One output file: every part found under one subject key.
struct OutputFileRecord {
  std::int32_t kind = kKindUU;
  std::string dest_name = "Untitled.Txt";  // at most kMaxNameLength characters
  std::string subject;                     // the subject key, compared byte for byte
  std::int32_t part_total = 1;
  std::int32_t part_min = 1;  // never above 1
  std::int32_t part_max = 0;
  std::int64_t yenc_size = 0;
  bool yenc_size_given = false;  // a "=ybegin " line had "size=" (0 is a size too)
  std::int32_t yenc_total = 0;
  std::int32_t yenc_line = 0;
  std::uint32_t file_crc = 0;     // expected CRC-32 of the whole file; 0 = not given
  std::uint32_t running_crc = 0;  // CRC register over every byte decoded for this file
  // Whether a "begin " or "=ybegin " line was parsed into the record; without
  // one there is no binary to decode, only text.
  bool has_header = false;

  // The name of each uuencode "begin " line that opened a part, by part
  // number (the first such line of the part's first segment), in the order
  // found. A later part whose name differs from the one before it in part
  // order starts a binary of its own.
  std::vector<std::pair<std::int32_t, std::string>> begin_names;

  // Segments in the order they were found (first_segment is the front).
  SegmentList segments;
  // First segment found for each part number: what a walk of the list returns.
  // (A tree rather than a hash table: no bucket array for records of one part.)
  std::map<std::int32_t, std::size_t> first_by_part;

  // What uuDecode made of the record: an output each (several where a
  // subject carries several uuencoded files), in the order written.
  std::vector<OutputOutcome> outputs;

  // The subject as shown to the user and the hooks: the key without its first
  // character (the blank after "Subject:"); empty for an empty key.
  std::string subject_text() const;
};

// The catalogue of one run: output-file records in the order their keys were
// first met. References to records and segments stay valid while it lives.
class Catalogue {
 public:
  bool empty() const { return records_.empty(); }
  std::size_t size() const { return records_.size(); }
  std::deque<OutputFileRecord>& records() { return records_; }
  const std::deque<OutputFileRecord>& records() const { return records_; }

  // The record with exactly this subject key, or none.
  OutputFileRecord* find(std::string_view key);
  // Appends a new record with this subject key and part total.
  OutputFileRecord& append(std::string_view key, std::int32_t part_total);

  // Records of yEnc data met before any Subject line of its file are gathered
  // by the "name=" value instead; their subject key stays empty.
  OutputFileRecord* find_named(std::string_view name);
  OutputFileRecord& append_named(std::string_view name, std::int32_t part_total);

  // A record that no key finds (empty subject key).
  OutputFileRecord& append_unnamed(std::int32_t part_total);

 private:
  std::deque<OutputFileRecord> records_;
  std::unordered_map<std::string, std::size_t> index_;
  std::unordered_map<std::string, std::size_t> named_index_;
};

struct AddedSegment {
  OutputFileRecord* record;
  SegmentRecord* segment;
};

// Adds a segment for (key, part) to the record with that key, creating and
// appending the record (with part_total = total) when there is none.
AddedSegment uulist_add_sement(Catalogue& catalogue, std::string_view source_path,
                               std::string_view key, std::int32_t part, std::int32_t total,
                               std::uint64_t start_offset);

// For a "=ybegin " line met before any Subject line of its file: a segment for
// part "part=" (1 without it) in the record gathered under the line's "name="
// value, created with part total "total=" (1 without it) when there is none.
AddedSegment uulist_add_named_segment(Catalogue& catalogue, std::string_view source_path,
                                      std::string_view ybegin_line, std::uint64_t start_offset);

// For a "begin " line met before any Subject line of its file: part 1 of 1 in
// a record of its own, named by the line; the decoder skips no header.
AddedSegment uulist_add_uu_segment(Catalogue& catalogue, std::string_view source_path,
                                   std::string_view begin_line, std::uint64_t start_offset);

// The first segment found for this part number, or none.
SegmentRecord* uuScanGetSegment(OutputFileRecord* record, std::int32_t part);

// Whether an earlier segment of the record has the same part number: such a
// segment is never decoded, and its header lines leave the record alone.
bool uuIsDuplicateSegment(const OutputFileRecord& record, const SegmentRecord& segment);

// Header parsers; each returns 1, or 0 (after the internal-error trap) when
// the record or segment it needs is missing. The yEnc parsers change only the
// segment when it is a duplicate; the keys of a "=ybegin " line other than
// "name=" are looked for before its " name=" only.
int uulist_set_uu_destname(OutputFileRecord* record, std::string_view begin_line);
// The scanner's step for a "begin " line in a segment found by its subject:
// uulist_set_uu_destname, and the line's name noted for the segment's part.
int uulist_note_uu_begin(OutputFileRecord* record, const SegmentRecord* segment,
                         std::string_view begin_line);
int uulist_set_yenc_destname(OutputFileRecord* record, SegmentRecord* segment,
                             std::string_view ybegin_line);
int uulist_set_yenc_part(OutputFileRecord* record, SegmentRecord* segment,
                         std::string_view ypart_line);
int uulist_set_yenc_end(OutputFileRecord* record, SegmentRecord* segment,
                        std::string_view yend_line);

// ---------------------------------------------------------------------------
// Scanning, assembly, disposal
// ---------------------------------------------------------------------------

// Reads one input file and records every part it holds in the catalogue.
// Parts are found by the Subject lines' counters; before a file's first
// Subject line, every yEnc or uuencode header line starts a part of its own.
// Announces the file through the busy hook (type 1) and polls it while
// reading. A file that cannot be opened leaves the catalogue unchanged.
void uuScanFile(Catalogue& catalogue, const std::string& path);

// While one lives, uuScanFile may find the files of `paths` already read on a
// second thread (where the machine and VANTORELLE_THREADS allow one): they
// must then be scanned in this order, and a path out of turn is read as
// usual. Only the reading is done ahead; catalogue, hooks and results are
// those of scanning each file in turn.
class ScanAhead {
 public:
  explicit ScanAhead(std::vector<std::string> paths);
  ~ScanAhead();
  ScanAhead(const ScanAhead&) = delete;
  ScanAhead& operator=(const ScanAhead&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// While one lives, scanning a file also decodes the yEnc parts in it that
// give their byte range, while the file is in memory, each into a hidden
// temporary file in `folder` (empty: the current one) for its output; uuDecode
// takes such a file over where the output goes into that folder and the
// inputs are unchanged, and makes every hook call decoding those parts
// would, without reading them again. Every other part, and every output
// elsewhere, is decoded as usual; what no output took over is removed when
// it ends. VANTORELLE_DECODE_AHEAD=0 turns it off. Catalogue, hooks and
// results are those of decoding every part in turn.
class DecodeAhead {
 public:
  explicit DecodeAhead(std::string folder);
  ~DecodeAhead();
  DecodeAhead(const DecodeAhead&) = delete;
  DecodeAhead& operator=(const DecodeAhead&) = delete;

  struct State;

 private:
  std::unique_ptr<State> state_;
};

// Assembles one output file from its parts, in part order: reports missing
// parts (up to the part total when that is higher), asks the directory hook
// and the file-name filter for the path, decodes, checks CRCs and sizes and
// calls the post-process hook. A record in which no "begin " or "=ybegin "
// line was found holds text only: after the missing-part messages nothing
// more is done. Returns 0 for a null record or when the output cannot be
// created, 1 otherwise. Where every yEnc part found gives a byte range
// ("=ypart begin= end="), inside the posted size and none overlapping
// another, each part is written at its range in a file of the posted size,
// and what no part filled stays zeros and is reported; otherwise the parts
// follow one another. What came of each output is left in record->outputs.
int uuDecode(OutputFileRecord* record);

// Hands every input file of the record to the input-removal hook, each once
// (the hook is not called again for the path it was handed last). Returns 0.
int uuRemove(OutputFileRecord* record);

}  // namespace vantorelle
