// make_seeds.cpp - writes the starting corpus of the fuzz targets with the test article writer.
//
// Usage: make_seeds FOLDER
// Small postings of every kind the engine reads: yEnc and uuencode, single and
// multi-part, all three line ends, with and without Subject lines, damaged
// ones, several files per run (cut at the byte 0x1E).
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "article_writer.hpp"
#include "test_support.hpp"

namespace {

using vantorelle::test::random_bytes;
using vantorelle::test::uu_articles;
using vantorelle::test::yenc_articles;

std::string joined(const std::vector<std::string>& parts, std::string_view between = "") {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += between;
    out += parts[i];
  }
  return out;
}

// Everything after the header block: what follows the first empty line.
std::string body_of(const std::string& article) {
  const std::size_t at = article.find("\n\n");
  const std::size_t crlf = article.find("\r\n\r\n");
  if (crlf != std::string::npos && (at == std::string::npos || crlf < at)) return article.substr(crlf + 4);
  return at == std::string::npos ? article : article.substr(at + 2);
}

std::vector<std::pair<std::string, std::string>> seeds() {
  const std::string small = random_bytes(200, 1);
  const std::string medium = random_bytes(3000, 2);
  const std::string sep(1, '\x1e');
  std::vector<std::pair<std::string, std::string>> out;
  const char* eols[] = {"\r\n", "\n", "\r"};
  const char* eol_names[] = {"crlf", "lf", "cr"};
  for (int e = 0; e < 3; ++e) {
    const std::string tag = eol_names[e];
    out.push_back({"yenc-single-" + tag, yenc_articles("one", "f.bin", small, 5000, eols[e])[0]});
    out.push_back({"yenc-parts-" + tag, joined(yenc_articles("multi", "f.bin", medium, 1000, eols[e]))});
    out.push_back({"uu-single-" + tag, uu_articles("one", "f.bin", small, 100, eols[e])[0]});
    out.push_back({"uu-parts-" + tag, joined(uu_articles("multi", "f.bin", medium, 20, eols[e]))});
  }
  out.push_back({"yenc-parts-in-files", joined(yenc_articles("files", "g.bin", medium, 900), sep)});
  out.push_back({"uu-parts-in-files", joined(uu_articles("files", "g.bin", medium, 25), sep)});
  auto shuffled = yenc_articles("shuffled", "h.bin", medium, 700, "\n");
  std::swap(shuffled.front(), shuffled.back());
  out.push_back({"yenc-parts-shuffled", joined(shuffled, sep)});
  auto gap = uu_articles("gap", "i.bin", medium, 15, "\n");
  gap.erase(gap.begin() + 1);
  out.push_back({"uu-part-missing", joined(gap)});
  out.push_back({"yenc-without-subject", body_of(yenc_articles("bare", "j.bin", small, 5000, "\n")[0])});
  out.push_back({"uu-without-subject", body_of(uu_articles("bare", "k.bin", small, 100, "\n")[0])});
  out.push_back({"yenc-empty-file", yenc_articles("empty", "e.bin", "", 100)[0]});
  out.push_back({"two-binaries", yenc_articles("a", "a.bin", small, 5000)[0] +
                                     uu_articles("b", "b.bin", small, 100)[0]});
  out.push_back({"same-name-twice", yenc_articles("x", "f.bin", small, 5000)[0] + sep +
                                        yenc_articles("y", "f.bin", small, 5000)[0]});
  std::string damaged = yenc_articles("damaged", "d.bin", medium, 5000, "\n")[0];
  damaged[damaged.size() / 2] ^= 0x20;
  out.push_back({"yenc-damaged", damaged});
  std::string cut = joined(uu_articles("cut", "c.bin", medium, 100, "\n"));
  cut.resize(cut.size() * 2 / 3);
  out.push_back({"uu-cut-short", cut});
  out.push_back({"text-article", "From: a@b.invalid\nSubject: just words (1/2)\n\nhello\n-- \nsig\n"});
  out.push_back({"hostile-names", yenc_articles("n", "../../up.bin", small, 5000)[0] +
                                      uu_articles("m", "/abs/path\x1b[31m.bin", small, 100)[0]});
  out.push_back({"subjects-of-dots", "Subject: ..\n\n=ybegin line=128 size=1 name=..\n+\n=yend size=1\n"});
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "Usage: make_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  for (const auto& [name, text] : seeds()) vantorelle::test::write_file((folder / name).string(), text);
  return 0;
}
