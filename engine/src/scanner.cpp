// scanner.cpp - reads one input file and records every encoded part it holds.
//
// Five kinds of line matter, each recognised by a case-sensitive prefix in the
// first column: "Subject: " starts a segment (part of a record found by its
// subject key), "begin " and "=ybegin " name the output file, "=ypart " and
// "=yend " carry yEnc positions and CRCs. A segment starts after its Subject
// line and ends after the next one (or at the end of the file), so the
// decoders later search it for their own start lines. Until a file's first
// Subject line, each "=ybegin " line (gathered by its name) and each uuencode
// "begin " line (a file of its own) starts a segment where it begins.
//
// Most lines start with none of the prefixes' first bytes; runs of them are
// skipped in the input buffer at once, with their polls made together and the
// current segment's end moved to where the run ends, as reading them one by
// one would leave it.
#include <string>
#include <string_view>

#include "header_values.hpp"
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
  bool subject_seen = false;  // whether a Subject line has been met in this file
};

bool starts_with(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

void make_current(ScanState& state, AddedSegment added) {
  state.record = added.record;
  state.segment = added.segment;
}

bool in_duplicate(const ScanState& state) {
  return state.segment != nullptr && uuIsDuplicateSegment(*state.record, *state.segment);
}

// read_pos: the position after this line (0 for the first line);
// line_start: where this line begins.
void examine_line(ScanState& state, std::string_view line, std::uint64_t read_pos,
                  std::uint64_t line_start) {
  if (starts_with(line, "Subject: ")) {
    state.subject_seen = true;
    scan_subject(line.substr(8), state.subject_key, state.part, state.total);
    make_current(state, uulist_add_sement(state.catalogue, state.path, state.subject_key,
                                          state.part, state.total, read_pos));
  } else if (starts_with(line, "begin ")) {
    // Without a Subject line nothing tells two binaries apart, so each header
    // starts a file of its own.
    if (!state.subject_seen && is_uu_begin_line(line)) {
      make_current(state, uulist_add_uu_segment(state.catalogue, state.path, line, line_start));
    } else if (!in_duplicate(state)) {
      uulist_set_uu_destname(state.record, line);
    }
  } else if (starts_with(line, "=ybegin ")) {
    if (!state.subject_seen) {
      make_current(state, uulist_add_named_segment(state.catalogue, state.path, line, line_start));
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

  ScanState state{catalogue, path, nullptr, nullptr, {}, 1, 1, false};
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
      if (uuStopRequested()) break;
    }
    const std::uint64_t line_start = input->position();
    const std::string_view line = input->read_line();
    read_pos = input->position();
    if (state.segment != nullptr) state.segment->end_offset = read_pos;
    if (input->eof()) break;
    dispatch::BusyPoll();
    if (uuStopRequested()) break;
    examine_line(state, line, read_pos, line_start);
  }
}

}  // namespace vantorelle
