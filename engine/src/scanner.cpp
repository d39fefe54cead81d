// scanner.cpp - reads one input file and records every encoded part it holds.
//
// Five kinds of line matter, each recognised by a case-sensitive prefix in the
// first column: "Subject: " starts a segment (part of a record found by its
// subject key), "begin " and "=ybegin " name the output file, "=ypart " and
// "=yend " carry yEnc positions and CRCs. A segment starts after its Subject
// line and ends after the next one (or at the end of the file), so the
// decoders later search it for their own start lines.
//
// Most lines start with none of the prefixes' first bytes; runs of them are
// skipped in the input buffer at once, with their polls made together and the
// current segment's end moved to where the run ends, as reading them one by
// one would leave it.
#include <string>
#include <string_view>

#include "hooks.hpp"
#include "input_file.hpp"
#include "line_scan.hpp"
#include "subject.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

struct ScanState {
  Catalogue& catalogue;
  const std::string& path;
  OutputFileRecord* record = nullptr;
  SegmentRecord* segment = nullptr;
  std::string subject_key;
  std::int32_t part = 1;
  std::int32_t total = 1;
};

bool starts_with(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

void make_current(ScanState& state, AddedSegment added) {
  state.record = added.record;
  state.segment = added.segment;
}

// read_pos: the position after this line (0 for the first line);
// previous_pos: where this line begins (0 for the first two lines).
void examine_line(ScanState& state, std::string_view line, std::uint64_t read_pos,
                  std::uint64_t previous_pos) {
  if (starts_with(line, "Subject: ")) {
    scan_subject(line.substr(8), state.subject_key, state.part, state.total);
    make_current(state, uulist_add_sement(state.catalogue, state.path, state.subject_key,
                                          state.part, state.total, read_pos));
  } else if (starts_with(line, "begin ")) {
    uulist_set_uu_destname(state.record, line);
  } else if (starts_with(line, "=ybegin ")) {
    if (state.segment == nullptr) {
      // No Subject line so far in this file, so the key is empty.
      make_current(state, uulist_add_sement(state.catalogue, state.path, state.subject_key, 1,
                                            1, previous_pos));
    }
    uulist_set_yenc_destname(state.record, state.segment, line);
  } else if (starts_with(line, "=ypart ")) {
    uulist_set_yenc_part(state.record, state.segment, line);
  } else if (starts_with(line, "=yend ")) {
    uulist_set_yenc_end(state.record, state.segment, line);
  }
}

}  // namespace

void uuScanFile(Catalogue& catalogue, const std::string& path) {
  dispatch::BusyCallback(kBusyScanning, -1, 0, "%s", path.c_str());
  auto input = InputFile::open(path);
  if (!input) return;

  ScanState state{catalogue, path, nullptr, nullptr, {}, 1, 1};
  // The first line is examined even when its read meets the end of the file.
  std::uint64_t read_pos = 0;
  examine_line(state, input->read_line(), read_pos, 0);
  for (;;) {
    const std::string_view block = input->buffered();
    const SkippedLines skipped = skip_plain_lines(block.data(), block.size());
    if (skipped.lines != 0) {
      input->consume(skipped.consumed);
      read_pos = input->position();
      if (state.segment != nullptr) state.segment->end_offset = read_pos;
      dispatch::BusyPollLines(skipped.lines);
    }
    const std::uint64_t previous_pos = read_pos;
    const std::string_view line = input->read_line();
    read_pos = input->position();
    if (state.segment != nullptr) state.segment->end_offset = read_pos;
    if (input->eof()) break;
    dispatch::BusyPoll();
    examine_line(state, line, read_pos, previous_pos);
  }
}

}  // namespace vantorelle
