// run_report.cpp - the damage report of a run as JSON, for scripts and for repair tools.
#include "run_report.hpp"

#include <cstdio>
#include <string_view>
#include <vector>

#include "vantorelle/engine.hpp"

namespace vantorelle::app {
namespace {

// Appends `text` as a JSON string. Bytes that are not UTF-8 become U+FFFD:
// JSON holds Unicode text only.
void AppendString(std::string& out, std::string_view text) {
  out += '"';
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      const std::size_t length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
      bool valid = length != 0 && i + length <= text.size() && c < 0xf5;
      for (std::size_t k = 1; valid && k < length; ++k) {
        valid = (static_cast<unsigned char>(text[i + k]) & 0xc0) == 0x80;
      }
      if (valid && length == 3) {  // no overlong forms, no surrogates
        const auto next = static_cast<unsigned char>(text[i + 1]);
        valid = !(c == 0xe0 && next < 0xa0) && !(c == 0xed && next >= 0xa0);
      }
      if (valid && length == 4) {
        const auto next = static_cast<unsigned char>(text[i + 1]);
        valid = !(c == 0xf0 && next < 0x90) && !(c == 0xf4 && next >= 0x90);
      }
      if (valid) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        out += "\xef\xbf\xbd";
        ++i;
      }
    }
  }
  out += '"';
}

// Writes one object's fields, with commas between them.
class Fields {
 public:
  explicit Fields(std::string& out) : out_(out) { out_ += '{'; }
  ~Fields() { out_ += '}'; }
  Fields(const Fields&) = delete;
  Fields& operator=(const Fields&) = delete;

  std::string& Key(std::string_view name) {
    if (!first_) out_ += ',';
    first_ = false;
    AppendString(out_, name);
    out_ += ':';
    return out_;
  }
  void Text(std::string_view name, std::string_view value) { AppendString(Key(name), value); }
  void Number(std::string_view name, std::uint64_t value) { Key(name) += std::to_string(value); }
  void Number(std::string_view name, std::int64_t value) { Key(name) += std::to_string(value); }
  void Flag(std::string_view name, bool value) { Key(name) += value ? "true" : "false"; }

 private:
  std::string& out_;
  bool first_ = true;
};

// Writes `items` as an array, each through `write`.
template <typename Items, typename Write>
void Array(std::string& out, const Items& items, Write write) {
  out += '[';
  bool first = true;
  for (const auto& item : items) {
    if (!first) out += ',';
    first = false;
    write(item);
  }
  out += ']';
}

std::string_view CrcText(std::int32_t status) {
  switch (status) {
    case kCrcVerified:
      return "verified";
    case kCrcMismatch:
      return "mismatch";
    case kCrcNotChecked:
      return "not checked";
    default:
      return "not given";
  }
}

std::string_view VerdictWord(OutputVerdict verdict) {
  switch (verdict) {
    case OutputVerdict::kGood:
      return "good";
    case OutputVerdict::kNotWritten:
      return "not written";
    case OutputVerdict::kStopped:
      return "stopped";
    default:
      return "damaged";
  }
}

std::string_view DamageWord(OutputVerdict verdict) {
  switch (verdict) {
    case OutputVerdict::kMissingParts:
      return "missing parts";
    case OutputVerdict::kCrc:
      return "crc";
    case OutputVerdict::kSize:
      return "size";
    default:
      return "other";
  }
}

std::string_view KeptWhy(KeptBecause why) {
  switch (why) {
    case KeptBecause::kNotAsked:
      return "not asked to remove inputs";
    case KeptBecause::kDamagedOutput:
      return "it holds data of an output that is not good";
    case KeptBecause::kRemovalFailed:
      return "it could not be removed";
    case KeptBecause::kStopped:
      return "the run was stopped";
  }
  return "";
}

std::string_view Par2Word(Par2Check check) {
  switch (check) {
    case Par2Check::kCorrect:
      return "correct";
    case Par2Check::kDamaged:
      return "damaged";
    case Par2Check::kRepaired:
      return "repaired";
    case Par2Check::kNone:
      break;
  }
  return "not checked";
}

void AppendPar2Set(std::string& out, const Par2SetResult& set) {
  Fields f(out);
  f.Text("path", set.path);
  f.Text("summary", set.summary);
  f.Flag("read", set.read);
  f.Flag("all_correct", set.all_correct);
  f.Flag("repairable", set.repairable);
  f.Flag("repaired", set.repaired);
  f.Number("missing_blocks", static_cast<std::uint64_t>(set.missing_blocks));
  f.Number("recovery_blocks", static_cast<std::uint64_t>(set.recovery_blocks));
  Array(f.Key("files"), set.files, [&](const std::string& line) { AppendString(out, line); });
}

void AppendPart(std::string& out, const PartOutcome& part) {
  Fields f(out);
  f.Number("part", static_cast<std::int64_t>(part.part));
  f.Text("state", part.state == kPartGood ? "good" : "damaged");
  f.Number("offset", part.offset);
  f.Number("length", part.length);
  f.Text("crc", CrcText(part.crc));
  f.Text("input", part.source_path);
  if (part.source_line != 0) f.Number("line", part.source_line);
}

void AppendOutput(std::string& out, const OutputResult& output) {
  Fields f(out);
  f.Text("path", output.path);
  f.Text("name", output.name);
  f.Number("size", output.size);
  f.Text("verdict", VerdictWord(output.verdict));
  if (VerdictWord(output.verdict) == "damaged") f.Text("damage", DamageWord(output.verdict));
  f.Text("layout", output.parts.at_offsets ? "offsets" : "sequential");
  f.Text("file_crc", CrcText(output.parts.file_crc));
  f.Text("par2", Par2Word(output.par2));
  f.Flag("exact", IsExact(output));
  Array(f.Key("parts"), output.parts.parts, [&](const PartOutcome& part) { AppendPart(out, part); });
  Array(f.Key("missing_parts"), output.parts.missing, [&](const auto& run) {
    Fields m(out);
    m.Number("first", run.first);
    m.Number("last", run.second);
  });
  Array(f.Key("holes"), output.parts.holes, [&](const ByteRange& hole) {
    Fields h(out);
    h.Number("offset", hole.offset);
    h.Number("length", hole.length);
  });
}

void AppendInput(std::string& out, const InputResult& input, Disposal disposal) {
  Fields f(out);
  f.Text("path", input.path);
  if (input.disposed) {
    f.Text("state", disposal == Disposal::kTrash ? "trashed" : "deleted");
  } else {
    f.Text("state", "kept");
    f.Text("why", KeptWhy(input.why));
  }
}

}  // namespace

std::string RunReportJson(const RunResults& results, Disposal disposal) {
  std::string out;
  {
    Fields f(out);
    f.Number("report_version", static_cast<std::int64_t>(kReportVersion));
    f.Flag("stopped", results.stopped);
    Array(f.Key("outputs"), results.outputs, [&](const OutputResult& output) { AppendOutput(out, output); });
    Array(f.Key("inputs"), results.inputs, [&](const InputResult& input) { AppendInput(out, input, disposal); });
    Array(f.Key("par2"), results.par2, [&](const Par2SetResult& set) { AppendPar2Set(out, set); });
    Array(f.Key("messages"), results.messages, [&](const Message& message) {
      Fields m(out);
      m.Number("level", static_cast<std::int64_t>(message.level));
      m.Text("text", message.text);
    });
  }
  out += '\n';
  return out;
}

}  // namespace vantorelle::app
