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

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::exit(1);
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

// The articles of the binary, one text each.
std::vector<std::string> yenc_articles(const std::vector<unsigned char>& data, std::size_t part_size) {
  std::vector<std::string> out;
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
    out.push_back(std::move(a));
  }
  return out;
}

void yenc(const std::filesystem::path& dir, const std::vector<unsigned char>& data) {
  std::filesystem::create_directories(dir);
  const std::vector<std::string> articles = yenc_articles(data, kYencPart);
  for (std::size_t p = 0; p < articles.size(); ++p) write_file(dir / part_name(p + 1), articles[p]);
}

std::vector<std::string> uu_lines(const std::vector<unsigned char>& data) {
  auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
  std::vector<std::string> out;
  out.push_back(std::string("begin 644 ") + kName);
  for (std::size_t at = 0; at < data.size(); at += 45) {
    const std::size_t n = std::min<std::size_t>(45, data.size() - at);
    std::string line(1, enc(static_cast<unsigned>(n)));
    for (std::size_t i = 0; i < n; i += 3) {
      unsigned b[3] = {0, 0, 0};
      for (std::size_t k = 0; k < 3 && i + k < n; ++k) b[k] = data[at + i + k];
      line += enc(b[0] >> 2);
      line += enc(((b[0] & 3) << 4) | (b[1] >> 4));
      line += enc(((b[1] & 15) << 2) | (b[2] >> 6));
      line += enc(b[2] & 63);
    }
    out.push_back(std::move(line));
  }
  out.push_back("`");
  out.push_back("end");
  return out;
}

void uu(const std::filesystem::path& dir, const std::filesystem::path& single,
        const std::vector<unsigned char>& data) {
  std::filesystem::create_directories(dir);
  const std::vector<std::string> body = uu_lines(data);
  const std::size_t parts = (body.size() + kUuLinesPerPart - 1) / kUuLinesPerPart;
  for (std::size_t p = 0; p < parts; ++p) {
    std::string a = head("bench - " + std::string(kName) + " [" + std::to_string(p + 1) + "/" +
                         std::to_string(parts) + "]");
    for (std::size_t i = p * kUuLinesPerPart; i < body.size() && i < (p + 1) * kUuLinesPerPart; ++i) {
      a += body[i];
      a += "\r\n";
    }
    a += "\r\n";
    write_file(dir / part_name(p + 1), a);
  }
  std::string block;
  for (const auto& l : body) {
    block += l;
    block += '\n';
  }
  write_file(single, block);
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
    for (const auto& a : yenc_articles(data, kSmallPart)) all += a;
    write_file(file, all);
    write_file(file.string() + ".bin", std::string(data.begin(), data.end()));
    return 0;
  }
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_corpus DIR BYTES SEED | make_corpus --parts FILE PARTS SEED\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  const auto data = make_data(std::strtoull(argv[2], nullptr, 10), std::strtoull(argv[3], nullptr, 10));
  std::filesystem::create_directories(dir);
  write_file(dir / "original.bin", std::string(data.begin(), data.end()));
  yenc(dir / "yenc", data);
  uu(dir / "uu", dir / "single.uue", data);
  return 0;
}
