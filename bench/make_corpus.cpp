// make_corpus.cpp - writes the benchmark corpus: a seeded random binary as yEnc and uuencoded articles.
//
// Usage: make_corpus DIR BYTES SEED
//        make_corpus --parts FILE PARTS SEED
// The first form writes DIR/original.bin; DIR/yenc/part-NNNNN.txt (384,000 bytes per article,
// 128-character lines, CR LF); DIR/uu/part-NNNNN.txt (5,000 lines per
// article, CR LF); DIR/single.uue (one uuencoded block, LF). The second writes
// one file of PARTS small yEnc articles (100 bytes each) of one binary, and
// FILE.bin with that binary, for measuring how assembly scales with parts.
// Its own encoders and CRC, independent of the engine.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kYencPart = 384000;
constexpr std::size_t kYencLine = 128;
constexpr std::size_t kUuLinesPerPart = 5000;
const char* const kName = "random.bin";

std::array<std::uint32_t, 256> crc_table() {
  std::array<std::uint32_t, 256> t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    t[i] = c;
  }
  return t;
}

std::uint32_t crc32(const unsigned char* p, std::size_t n) {
  static const auto t = crc_table();
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) c = (c >> 8) ^ t[(c ^ p[i]) & 0xFFu];
  return ~c;
}

[[noreturn]] void fail(const std::filesystem::path& path) {
  std::perror(path.c_str());
  std::exit(1);
}

template <typename Bytes>
void write_file(const std::filesystem::path& path, const Bytes& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0) {
    fail(path);
  }
}

std::string part_name(std::size_t p) {
  char name[32];
  std::snprintf(name, sizeof name, "part-%05zu.txt", p);
  return name;
}

std::string head(const std::string& subject) {
  return "From: poster@example.invalid\r\nNewsgroups: alt.binaries.test\r\nSubject: " + subject +
         "\r\nMessage-ID: <bench@example.invalid>\r\n\r\n";
}

// The articles of the binary, each handed to `take` as it is made, so that a
// large corpus is never held whole.
template <typename Take>
void yenc_articles(const std::vector<unsigned char>& data, std::size_t part_size, Take take) {
  const std::size_t parts = (data.size() + part_size - 1) / part_size;
  const std::uint32_t whole = crc32(data.data(), data.size());
  char hex[16];
  for (std::size_t p = 0; p < parts; ++p) {
    const std::size_t begin = p * part_size;
    const std::size_t n = std::min(part_size, data.size() - begin);
    std::string a = head("bench - \"" + std::string(kName) + "\" yEnc (" + std::to_string(p + 1) +
                         "/" + std::to_string(parts) + ")");
    a += "=ybegin part=" + std::to_string(p + 1) + " total=" + std::to_string(parts) +
         " line=" + std::to_string(kYencLine) + " size=" + std::to_string(data.size()) +
         " name=" + kName + "\r\n";
    a += "=ypart begin=" + std::to_string(begin + 1) + " end=" + std::to_string(begin + n) + "\r\n";
    std::size_t col = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char c = static_cast<unsigned char>(data[begin + i] + 42);
      const bool edge = col == 0 || col + 1 >= kYencLine || i + 1 == n;
      if (c == 0 || c == '\n' || c == '\r' || c == '=' || (edge && (c == ' ' || c == '\t')) ||
          (col == 0 && c == '.')) {
        a += '=';
        a += static_cast<char>(c + 64);
        col += 2;
      } else {
        a += static_cast<char>(c);
        ++col;
      }
      if (col >= kYencLine || i + 1 == n) {
        a += "\r\n";
        col = 0;
      }
    }
    std::snprintf(hex, sizeof hex, "%08x", crc32(data.data() + begin, n));
    a += "=yend size=" + std::to_string(n) + " part=" + std::to_string(p + 1) + " pcrc32=" + hex;
    if (p + 1 == parts) {
      std::snprintf(hex, sizeof hex, "%08x", whole);
      a += std::string(" crc32=") + hex;
    }
    a += "\r\n";
    take(p, a);
  }
}

void yenc(const std::filesystem::path& dir, const std::vector<unsigned char>& data) {
  std::filesystem::create_directories(dir);
  yenc_articles(data, kYencPart,
                [&](std::size_t p, const std::string& a) { write_file(dir / part_name(p + 1), a); });
}

// Line i of the uuencoded block: the begin line, the data lines, "`" and "end".
std::size_t uu_line_count(const std::vector<unsigned char>& data) { return (data.size() + 44) / 45 + 3; }

std::string uu_line(const std::vector<unsigned char>& data, std::size_t i) {
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  const std::size_t count = uu_line_count(data);
  if (i == 0) return std::string("begin 644 ") + kName;
  if (i + 2 == count) return "`";
  if (i + 1 == count) return "end";
  const std::size_t at = (i - 1) * 45;
  const std::size_t n = std::min<std::size_t>(45, data.size() - at);
  std::string line(1, enc(static_cast<unsigned>(n)));
  for (std::size_t k = 0; k < n; k += 3) {
    unsigned b[3] = {0, 0, 0};
    for (std::size_t j = 0; j < 3 && k + j < n; ++j) b[j] = data[at + k + j];
    line += enc(b[0] >> 2);
    line += enc(((b[0] & 3) << 4) | (b[1] >> 4));
    line += enc(((b[1] & 15) << 2) | (b[2] >> 6));
    line += enc(b[2] & 63);
  }
  return line;
}

void uu(const std::filesystem::path& dir, const std::filesystem::path& single,
        const std::vector<unsigned char>& data) {
  std::filesystem::create_directories(dir);
  const std::size_t count = uu_line_count(data);
  const std::size_t parts = (count + kUuLinesPerPart - 1) / kUuLinesPerPart;
  std::FILE* block = std::fopen(single.c_str(), "wb");
  if (block == nullptr) fail(single);
  for (std::size_t p = 0; p < parts; ++p) {
    std::string a = head("bench - " + std::string(kName) + " [" + std::to_string(p + 1) + "/" +
                         std::to_string(parts) + "]");
    std::string lines;
    for (std::size_t i = p * kUuLinesPerPart; i < count && i < (p + 1) * kUuLinesPerPart; ++i) {
      const std::string line = uu_line(data, i);
      a += line;
      a += "\r\n";
      lines += line;
      lines += '\n';
    }
    a += "\r\n";
    write_file(dir / part_name(p + 1), a);
    if (std::fwrite(lines.data(), 1, lines.size(), block) != lines.size()) fail(single);
  }
  if (std::fclose(block) != 0) fail(single);
}

}  // namespace

std::vector<unsigned char> make_data(std::size_t size, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<unsigned char> data(size);
  for (std::size_t i = 0; i < size; i += 8) {
    const std::uint64_t r = rng();
    for (std::size_t k = 0; k < 8 && i + k < size; ++k) data[i + k] = static_cast<unsigned char>(r >> (8 * k));
  }
  return data;
}

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--parts") {
    constexpr std::size_t kSmallPart = 100;
    const std::filesystem::path file = argv[2];
    const std::size_t parts = std::strtoull(argv[3], nullptr, 10);
    const auto data = make_data(parts * kSmallPart, std::strtoull(argv[4], nullptr, 10));
    std::string all;
    yenc_articles(data, kSmallPart, [&](std::size_t, const std::string& a) { all += a; });
    write_file(file, all);
    write_file(file.string() + ".bin", data);
    return 0;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_corpus DIR BYTES SEED | make_corpus --parts FILE PARTS SEED\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const auto data = make_data(std::strtoull(argv[2], nullptr, 10), std::strtoull(argv[3], nullptr, 10));
  std::filesystem::create_directories(dir);
  write_file(dir / "original.bin", data);
  yenc(dir / "yenc", data);
  uu(dir / "uu", dir / "single.uue", data);
  return 0;
}
