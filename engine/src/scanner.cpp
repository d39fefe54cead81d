// scanner.cpp - reads one input file and records every encoded part it holds.
//
// Five kinds of line matter, each recognised by a case-sensitive prefix in the
// first column: "Subject: " starts a segment (part of a record found by its
// subject key), "begin " and "=ybegin " name the output file, "=ypart " and
// "=yend " carry yEnc positions and CRCs. A segment starts after its Subject
// line and ends after the next one (or at the end of the file), so the
// decoders later search it for their own start lines. Until a file's first
// Subject line, each "=ybegin " line (gathered by its name) and each uuencode
// "begin " line (a file of its own) starts a segment where it begins, and a
// "=ypart " or "=yend " line with no segment yet (its "=ybegin " lost) one
// from the start of the file.
//
// A Subject header folded over several lines (continuations begin with a
// blank or a tab) is read unfolded before its segment is added. A last line
// without a line break is examined like any other; one cut by a read error is
// not, and the error is reported.
//
// Most lines start with none of the prefixes' first bytes; runs of them are
// skipped in the input buffer at once, with their polls made together and the
// current segment's end moved to where the run ends, as reading them one by
// one would leave it.
//
// One walk over a file's lines (walk_lines) serves two ways of scanning: the
// Examiner takes each step into the catalogue as the file is read, or a
// Recorder keeps the steps of a file read ahead of its turn (scan_ahead.hpp)
// and the Examiner is given them later, in turn; both make the same calls.
#include <atomic>
#include <optional>
#include <string>
#include <string_view>

#include "decode_ahead.hpp"
#include "header_values.hpp"
#include "hooks.hpp"
#include "input_file.hpp"
#include "line_scan.hpp"
#include "scan_ahead.hpp"
#include "subject.hpp"
#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

struct ScanState {
  Catalogue& catalogue;
  const std::string& path;
  OutputFileRecord* record = nullptr;
  SegmentRecord* segment = nullptr;
  std::string subject_key{};
  std::int32_t part = 1;
  std::int32_t total = 1;
  bool subject_seen = false;  // whether a Subject line has been met in this file
  // A Subject line whose continuation lines may follow: its field so far and
  // the position after it, where its segment starts.
  bool subject_pending = false;
  std::string subject_field{};
  std::uint64_t subject_pos = 0;
};

void make_current(ScanState& state, AddedSegment added) {
  state.record = added.record;
  state.segment = added.segment;
  state.segment->no_begin_line = true;  // until one is met
}

bool in_duplicate(const ScanState& state) {
  return state.segment != nullptr && uuIsDuplicateSegment(*state.record, *state.segment);
}

// A folded header's continuation: a blank or a tab first, and some text.
bool is_continuation(std::string_view line) {
  return (line.starts_with(' ') || line.starts_with('\t')) &&
         line.find_first_not_of(" \t") != std::string_view::npos;
}

// Adds the segment of the pending Subject line; it reaches to read_pos so far.
void add_subject_segment(ScanState& state, std::uint64_t read_pos) {
  state.subject_pending = false;
  scan_subject(state.subject_field, state.subject_key, state.part, state.total);
  make_current(state, uulist_add_sement(state.catalogue, state.path, state.subject_key,
                                        state.part, state.total, state.subject_pos));
  state.segment->end_offset = read_pos;
}

void examine_begin(ScanState& state, std::string_view line, std::uint64_t line_start) {
  if (!is_uu_begin_line(line)) return;
  // Without a Subject line nothing tells two binaries apart, so each header
  // starts a file of its own.
  if (!state.subject_seen) {
    make_current(state, uulist_add_uu_segment(state.catalogue, state.path, line, line_start));
    return;
  }
  // A word in a signature after yEnc data does not make the binary uuencode.
  if (state.record == nullptr || in_duplicate(state) || state.record->kind == kKindYEnc) return;
  uulist_note_uu_begin(state.record, state.segment, line);
}

// read_pos: the position after this line (0 for the first line);
// line_start: where this line begins.
void examine_line(ScanState& state, std::string_view line, std::uint64_t read_pos,
                  std::uint64_t line_start) {
  if (state.subject_pending) {
    if (is_continuation(line)) {
      // Unfolded: the leading white space becomes one blank.
      std::string& field = state.subject_field;
      if (field.size() < kLineCapacity) {  // a header of any length stays one line's worth
        field += ' ';
        field.append(line.substr(line.find_first_not_of(" \t")), 0, kLineCapacity - field.size());
      }
      return;
    }
    add_subject_segment(state, read_pos);
  }
  if (line.starts_with("Subject: ")) {
    state.subject_seen = true;
    state.subject_pending = true;
    state.subject_field.assign(line.substr(8));
    state.subject_pos = read_pos;
    // The segment before ends after this line, as if the header were not folded.
    state.segment = nullptr;
  } else if (line.starts_with("begin ")) {
    examine_begin(state, line, line_start);
    if (state.segment != nullptr && is_uu_begin_line(line)) state.segment->no_begin_line = false;
  } else if (line.starts_with("=ybegin ")) {
    if (!state.subject_seen) {
      make_current(state, uulist_add_named_segment(state.catalogue, state.path, line, line_start));
    }
    uulist_set_yenc_destname(state.record, state.segment, line);
  } else if (line.starts_with("=ypart ") || line.starts_with("=yend ")) {
    // Before any header of a file without Subject lines: yEnc data whose
    // "=ybegin " line was lost, from the start of the file.
    if (state.segment == nullptr && !state.subject_seen) {
      make_current(state, uulist_add_named_segment(state.catalogue, state.path, line, 0));
    }
    if (line.starts_with("=ypart ")) {
      uulist_set_yenc_part(state.record, state.segment, line);
    } else {
      uulist_set_yenc_end(state.record, state.segment, line);
    }
  }
}

// Walks a file's lines as the scanner reads them: runs of lines that cannot
// matter skipped at once (never while a Subject header may go on), every other
// line read. The sink is told each step and may end the walk there.
template <typename Sink>
void walk_lines(InputFile& input, Sink& sink) {
  // The first line is examined even when its read meets the end of the file.
  std::uint64_t read_pos = 0;
  const std::string_view first = input.read_line();
  if (input.read_errors() == 0) sink.first(first);
  for (;;) {
    if (!sink.pending()) {
      const std::string_view block = input.buffered();
      const SkippedLines skipped = skip_plain_lines(block.data(), block.size());
      if (skipped.lines != 0) {
        input.consume(skipped.consumed);
        read_pos = input.position();
        if (!sink.skipped(read_pos, skipped.lines, input.read_errors() != 0)) return;
      }
    }
    const std::uint64_t line_start = input.position();
    const std::string_view line = input.read_line();
    read_pos = input.position();
    // Nothing left to read, or a line a read error cut: not examined.
    if (input.eof() && (read_pos == line_start || input.read_errors() != 0)) {
      sink.last(read_pos, input.read_errors() != 0);
      return;
    }
    if (!sink.line(line, line_start, read_pos, input.read_errors() != 0)) return;
  }
}

// Takes a file's lines into the catalogue, with the polls, as they are walked.
// A quiet one polls and reports nothing, and is never stopped.
class Examiner {
 public:
  Examiner(Catalogue& catalogue, const std::string& path, bool loud = true)
      : state_{catalogue, path}, loud_(loud) {}

  void first(std::string_view line) { examine_line(state_, line, 0, 0); }
  bool pending() const { return state_.subject_pending; }
  bool skipped(std::uint64_t read_pos, std::size_t lines, bool errors) {
    reach(read_pos, errors);
    if (!loud_) return true;
    dispatch::BusyPollLines(lines);
    return !uuStopRequested();
  }
  void last(std::uint64_t read_pos, bool errors) {
    reach(read_pos, errors);
    ended_ = true;
  }
  bool line(std::string_view line, std::uint64_t line_start, std::uint64_t read_pos, bool errors) {
    reach(read_pos, errors);
    if (loud_) {
      dispatch::BusyPoll();
      if (uuStopRequested()) return false;
    }
    examine_line(state_, line, read_pos, line_start);
    return true;
  }

  // Whether the walk reached the end of the file.
  bool ended() const { return ended_; }

  void finish(const std::string& path) {
    if (state_.subject_pending) add_subject_segment(state_, read_pos_);
    // What could not be read is not the end of the file: its segment is cut
    // short, and the run must not pass for a success.
    if (errors_ && loud_) dispatch::MsgCallback(kLevelError, "Unable to read source file '%s'", path.c_str());
  }

 private:
  // The current segment ends wherever the reading has got to.
  void reach(std::uint64_t read_pos, bool errors) {
    read_pos_ = read_pos;
    errors_ = errors;
    if (state_.segment != nullptr) state_.segment->end_offset = read_pos;
  }

  ScanState state_;
  const bool loud_;
  std::uint64_t read_pos_ = 0;
  bool errors_ = false;
  bool ended_ = false;
};

// Gives every step of a walk to a quiet Examiner as well, which takes the
// file alone into a catalogue of its own.
template <typename Sink>
class AlsoAlone {
 public:
  AlsoAlone(Sink& sink, Examiner& alone) : sink_(sink), alone_(alone) {}

  void first(std::string_view line) {
    sink_.first(line);
    alone_.first(line);
  }
  bool pending() const { return sink_.pending(); }
  bool skipped(std::uint64_t read_pos, std::size_t lines, bool errors) {
    alone_.skipped(read_pos, lines, errors);
    return sink_.skipped(read_pos, lines, errors);
  }
  void last(std::uint64_t read_pos, bool errors) {
    sink_.last(read_pos, errors);
    alone_.last(read_pos, errors);
  }
  bool line(std::string_view line, std::uint64_t line_start, std::uint64_t read_pos, bool errors) {
    alone_.line(line, line_start, read_pos, errors);
    return sink_.line(line, line_start, read_pos, errors);
  }

 private:
  Sink& sink_;
  Examiner& alone_;
};

// Opens and walks the file for the sink; false when it cannot be opened.
// While parts are decoded ahead, a file small enough is read whole, and
// its parts are decoded from memory once the walk has reached its end.
template <typename Sink>
bool walk_file(const std::string& path, Sink& sink) {
  // The buffer of the file read whole last on this thread, for the next.
  thread_local InputFile::Buffer spare;
  std::optional<InputFile> input;
  if (DecodingAhead()) input = InputFile::open_whole(path, kMostHeldAhead, spare);
  if (!input) {
    input = InputFile::open(path);
    if (!input) return false;
    input->read_through();
    walk_lines(*input, sink);
    return true;
  }
  Catalogue alone;
  Examiner quiet(alone, path, false);
  AlsoAlone both(sink, quiet);
  walk_lines(*input, both);
  if (quiet.ended() && !uuStopRequested()) {
    quiet.finish(path);
    DecodeFileAhead(alone, *input);
  }
  spare = input->release_buffer();
  return true;
}

// Whether a Subject header may go on after this line: examine_line's rule,
// from the text alone.
bool subject_pending_after(bool pending, std::string_view line) {
  return (pending && is_continuation(line)) || line.starts_with("Subject: ");
}

// Keeps the walk's steps for an Examiner to take later, with the text of the
// lines examining can act on (a prefix's first byte, or a header going on).
class Recorder {
 public:
  Recorder(FileScan& scan, const std::atomic<bool>& cancel) : scan_(scan), cancel_(cancel) {}

  void first(std::string_view line) {
    scan_.first_examined = true;
    scan_.first.assign(line);
    pending_ = subject_pending_after(false, line);
  }
  bool pending() const { return pending_; }
  bool skipped(std::uint64_t read_pos, std::size_t lines, bool errors) {
    scan_.steps.push_back({FileScan::kSkipped, read_pos, 0, lines, errors, 0, 0});
    return go_on(read_pos);
  }
  void last(std::uint64_t read_pos, bool errors) {
    scan_.steps.push_back({FileScan::kLast, read_pos, 0, 0, errors, 0, 0});
    scan_.complete = true;
  }
  bool line(std::string_view line, std::uint64_t line_start, std::uint64_t read_pos, bool errors) {
    FileScan::Step step{FileScan::kLine, read_pos, line_start, 0, errors, scan_.texts.size(), 0};
    if (pending_ || (!line.empty() && starts_scanned_prefix(line[0]))) {
      // A file of nothing but such lines is scanned again where it is taken in.
      if (scan_.texts.size() + line.size() > FileScan::kMostKept) return false;
      if (scan_.steps.size() >= FileScan::kMostSteps) return false;
      scan_.texts.append(line);
      step.text_size = line.size();
    }
    pending_ = subject_pending_after(pending_, line);
    scan_.steps.push_back(step);
    return go_on(read_pos);
  }

 private:
  bool go_on(std::uint64_t read_pos) const {
    return read_pos <= FileScan::kMostRead && !cancel_.load(std::memory_order_relaxed);
  }

  FileScan& scan_;
  const std::atomic<bool>& cancel_;
  bool pending_ = false;
};

// Gives the Examiner the steps a walk recorded, up to where it would have ended.
void replay(const FileScan& scan, Examiner& examiner) {
  if (scan.first_examined) examiner.first(scan.first);
  for (const FileScan::Step& step : scan.steps) {
    switch (step.kind) {
      case FileScan::kSkipped:
        if (!examiner.skipped(step.read_pos, step.lines, step.errors)) return;
        break;
      case FileScan::kLast:
        examiner.last(step.read_pos, step.errors);
        return;
      case FileScan::kLine: {
        const std::string_view text = std::string_view(scan.texts).substr(step.text_at, step.text_size);
        if (!examiner.line(text, step.line_start, step.read_pos, step.errors)) return;
        break;
      }
    }
  }
}

}  // namespace

FileScan read_input(const std::string& path, const std::atomic<bool>& cancel) {
  FileScan scan;
  Recorder recorder(scan, cancel);
  scan.opened = walk_file(path, recorder);
  if (!scan.opened) scan.complete = true;
  return scan;
}

void uuScanFile(Catalogue& catalogue, const std::string& path) {
  dispatch::BusyCallback(kBusyScanning, -1, 0, "%s", path.c_str());
  Examiner examiner(catalogue, path);
  // Once stopped, a file is only begun, as it would be read here.
  std::optional<FileScan> scan;
  if (!uuStopRequested()) scan = take_scanned_ahead(path);
  if (scan && scan->complete) {
    if (!scan->opened) return;
    replay(*scan, examiner);
  } else if (!walk_file(path, examiner)) {
    return;
  }
  examiner.finish(path);
}

}  // namespace vantorelle
