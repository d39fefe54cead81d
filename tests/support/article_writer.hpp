// article_writer.hpp - writes binaries as uuencoded or yEnc news articles, for tests and examples.
//
// Independent of the engine on purpose (its own CRC-32, its own encoders), so
// that decoding what this writes checks the engine against a second opinion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantorelle::test {

inline std::uint32_t crc32_of(std::string_view data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline std::string hex8(std::uint32_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = digits[value & 15u];
  return out;
}

// The uuencoded data lines of the bytes: full 'M' lines, a short last line,
// then the grave-accent terminator (no begin or end line).
inline std::vector<std::string> uuencode_lines(std::string_view data) {
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::vector<std::string> out;
  for (std::size_t at = 0; at < data.size(); at += 45) {
    const std::size_t n = std::min<std::size_t>(45, data.size() - at);
    std::string line(1, enc(static_cast<unsigned>(n)));
    for (std::size_t i = 0; i < n; i += 3) {
      unsigned char b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k) b[k] = static_cast<unsigned char>(data[at + i + k]);
      line += enc(b[0] >> 2);
      line += enc(((b[0] & 3) << 4) | (b[1] >> 4));
      line += enc(((b[1] & 15) << 2) | (b[2] >> 6));
      line += enc(b[2] & 63);
    }
    out.push_back(line);
  }
  out.push_back("`");
  return out;
}

// yEnc data lines of about line_length characters.
inline std::vector<std::string> yenc_lines(std::string_view data, std::size_t line_length = 128) {
  std::vector<std::string> out;
  std::string line;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42u);
    const bool edge = line.empty() || i + 1 == data.size() || line.size() + 1 >= line_length;
    const bool critical = c == 0 || c == '\n' || c == '\r' || c == '=';
    const bool edgy = (c == ' ' || c == '\t') && edge;
    const bool dot = c == '.' && line.empty();
    if (critical || edgy || dot) {
      line += '=';
      line += static_cast<char>(c + 64u);
    } else {
      line += static_cast<char>(c);
    }
    if (line.size() >= line_length) {
      out.push_back(line);
      line.clear();
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}

struct ArticleSet {
  std::vector<std::string> articles;  // one text per article, lines ended by eol
};

inline std::string join_lines(const std::vector<std::string>& lines, std::string_view eol) {
  std::string out;
  for (const auto& l : lines) {
    out += l;
    out += eol;
  }
  return out;
}

inline std::vector<std::string> article_head(const std::string& subject) {
  return {"From: poster@example.invalid", "Newsgroups: alt.binaries.test",
          "Subject: " + subject, "Message-ID: <" + std::to_string(subject.size()) + "@example.invalid>", ""};
}

// A binary as yEnc articles of part_size bytes each (one part when the data fit).
inline std::vector<std::string> yenc_articles(const std::string& title, const std::string& name,
                                              std::string_view data, std::size_t part_size,
                                              std::string_view eol = "\r\n",
                                              std::size_t line_length = 128) {
  const std::size_t parts = data.empty() ? 1 : (data.size() + part_size - 1) / part_size;
  const std::string size = std::to_string(data.size());
  std::vector<std::string> out;
  for (std::size_t p = 0; p < parts; ++p) {
    const std::size_t begin = p * part_size;
    const std::string_view piece = data.substr(begin, part_size);
    const std::string counter = "(" + std::to_string(p + 1) + "/" + std::to_string(parts) + ")";
    auto lines = article_head(title + " - \"" + name + "\" yEnc " + counter);
    if (parts == 1) {
      lines.push_back("=ybegin line=" + std::to_string(line_length) + " size=" + size + " name=" + name);
    } else {
      lines.push_back("=ybegin part=" + std::to_string(p + 1) + " total=" + std::to_string(parts) +
                      " line=" + std::to_string(line_length) + " size=" + size + " name=" + name);
      lines.push_back("=ypart begin=" + std::to_string(begin + 1) +
                      " end=" + std::to_string(begin + piece.size()));
    }
    for (auto& l : yenc_lines(piece, line_length)) lines.push_back(std::move(l));
    std::string end = "=yend size=" + std::to_string(piece.size());
    if (parts > 1) end += " part=" + std::to_string(p + 1);
    end += " pcrc32=" + hex8(crc32_of(piece));
    if (parts == 1 || p + 1 == parts) end += " crc32=" + hex8(crc32_of(data));
    lines.push_back(end);
    out.push_back(join_lines(lines, eol));
  }
  return out;
}

// A binary as uuencoded articles of lines_per_part data lines each.
inline std::vector<std::string> uu_articles(const std::string& title, const std::string& name,
                                            std::string_view data, std::size_t lines_per_part,
                                            std::string_view eol = "\r\n") {
  std::vector<std::string> body = {"begin 644 " + name};
  for (auto& l : uuencode_lines(data)) body.push_back(std::move(l));
  body.push_back("end");
  const std::size_t parts = (body.size() + lines_per_part - 1) / lines_per_part;
  std::vector<std::string> out;
  for (std::size_t p = 0; p < parts; ++p) {
    const std::string counter = "[" + std::to_string(p + 1) + "/" + std::to_string(parts) + "]";
    auto lines = article_head(title + " - " + name + " " + counter);
    for (std::size_t i = p * lines_per_part; i < body.size() && i < (p + 1) * lines_per_part; ++i) {
      lines.push_back(body[i]);
    }
    lines.push_back("");
    out.push_back(join_lines(lines, eol));
  }
  return out;
}

}  // namespace vantorelle::test
