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

  std::string& key(std::string_view name) {
    if (!first_) out_ += ',';
    first_ = false;
    AppendString(out_, name);
    out_ += ':';
    return out_;
  }
  void text(std::string_view name, std::string_view value) { AppendString(key(name), value); }
  void number(std::string_view name, std::uint64_t value) { key(name) += std::to_string(value); }
  void number(std::string_view name, std::int64_t value) { key(name) += std::to_string(value); }
  void flag(std::string_view name, bool value) { key(name) += value ? "true" : "false"; }

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

void AppendPart(std::string& out, const PartOutcome& part) {
  Fields f(out);
  f.number("part", static_cast<std::int64_t>(part.part));
  f.text("state", part.state == kPartGood ? "good" : "damaged");
  f.number("offset", part.offset);
  f.number("length", part.length);
  f.text("crc", CrcText(part.crc));
  f.text("input", part.source_path);
  if (part.source_line != 0) f.number("line", part.source_line);
}

void AppendOutput(std::string& out, const OutputResult& output) {
  Fields f(out);
  f.text("path", output.path);
  f.text("name", output.name);
  f.number("size", output.size);
  f.text("verdict", VerdictWord(output.verdict));
  if (VerdictWord(output.verdict) == "damaged") f.text("damage", DamageWord(output.verdict));
  f.text("layout", output.parts.at_offsets ? "offsets" : "sequential");
  f.text("file_crc", CrcText(output.parts.file_crc));
  Array(f.key("parts"), output.parts.parts, [&](const PartOutcome& part) { AppendPart(out, part); });
  Array(f.key("missing_parts"), output.parts.missing, [&](const auto& run) {
    Fields m(out);
    m.number("first", run.first);
    m.number("last", run.second);
  });
  Array(f.key("holes"), output.parts.holes, [&](const ByteRange& hole) {
    Fields h(out);
    h.number("offset", hole.offset);
    h.number("length", hole.length);
  });
}

void AppendInput(std::string& out, const InputResult& input, Disposal disposal) {
  Fields f(out);
  f.text("path", input.path);
  if (input.disposed) {
    f.text("state", disposal == Disposal::kTrash ? "trashed" : "deleted");
  } else {
    f.text("state", "kept");
    f.text("why", KeptWhy(input.why));
  }
}

}  // namespace

std::string RunReportJson(const RunResults& results, Disposal disposal) {
  std::string out;
  {
    Fields f(out);
    f.number("report_version", static_cast<std::int64_t>(kReportVersion));
    f.flag("stopped", results.stopped);
    Array(f.key("outputs"), results.outputs, [&](const OutputResult& output) { AppendOutput(out, output); });
    Array(f.key("inputs"), results.inputs, [&](const InputResult& input) { AppendInput(out, input, disposal); });
    Array(f.key("messages"), results.messages, [&](const Message& message) {
      Fields m(out);
      m.number("level", static_cast<std::int64_t>(message.level));
      m.text("text", message.text);
    });
  }
  out += '\n';
  return out;
}

}  // namespace vantorelle::app
