// make_seeds.cpp - writes the starting corpus of the fuzz targets with the test article writer.
//
// Usage: make_seeds FOLDER [articles|par2_packets|par2_repair]
// Articles (the default): small postings of every kind the engine reads: yEnc
// and uuencode, single and multi-part, all three line ends, with and without
// Subject lines, damaged ones, several files per run (cut at the byte 0x1E).
// par2_packets: PAR2 volumes, whole and damaged, written by the tests' set
// writer. par2_repair: the repair target's inputs for sets it can repair and
// sets it cannot, so a short run starts inside the repairer.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "article_writer.hpp"
#include "par2_writer.hpp"
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

using Par2Bytes = vantorelle::par2::test::Bytes;
using vantorelle::par2::test::SetWriter;

std::string as_text(const Par2Bytes& b) { return std::string(b.begin(), b.end()); }
Par2Bytes as_bytes(const std::string& s) { return Par2Bytes(s.begin(), s.end()); }

std::vector<std::pair<std::string, std::string>> par2_packet_seeds() {
  const SetWriter two(64, {{"a.bin", as_bytes(random_bytes(150, 3))}, {"b.bin", as_bytes(random_bytes(64, 4))}});
  const SetWriter one(512, {{"one.dat", as_bytes(random_bytes(1000, 5))}});
  const SetWriter empty(4, {{"empty", {}}});
  std::vector<std::pair<std::string, std::string>> out;
  out.push_back({"two-files-two-recovery", as_text(two.volume({0, 1}))});
  out.push_back({"one-file-no-recovery", as_text(one.volume({}))});
  out.push_back({"empty-file", as_text(empty.volume({}))});
  Par2Bytes no_checksums = two.main();
  SetWriter::append(&no_checksums, two.description(0));
  SetWriter::append(&no_checksums, two.description(1));
  SetWriter::append(&no_checksums, two.recovery(3));
  out.push_back({"descriptions-only", as_text(no_checksums)});
  Par2Bytes with_creator = one.volume({7});
  SetWriter::append(&with_creator, vantorelle::par2::test::packet(std::string_view("PAR 2.0\0Creator\0", 16),
                                                                  one.set_id(), as_bytes("seed writer")));
  out.push_back({"creator-packet", as_text(with_creator)});
  std::string junk_between = random_bytes(37, 6) + as_text(two.main()) + random_bytes(5, 7) +
                             as_text(two.volume({2}));
  out.push_back({"junk-between-packets", junk_between});
  out.push_back({"two-sets", as_text(one.volume({0})) + as_text(two.volume({0}))});
  std::string damaged = as_text(two.volume({0, 1}));
  damaged[damaged.size() / 2] ^= 0x01;
  out.push_back({"packet-damaged", damaged});
  out.push_back({"hostile-name", as_text(SetWriter(64, {{"../up", as_bytes(random_bytes(80, 8))}}).volume({0}))});
  return out;
}

// The repair target reads: slice (4 * (1 + b % 32)), files (1 + b % 3), recovery
// blocks (b % 8), each file's size and bytes, each file's damage (kind b % 5:
// none, flip at word, cut to word, insert at word, remove), then the threads
// (1 + b % 4) and the buffer byte.
std::string repair_input(unsigned slice_step, unsigned files, unsigned recovery, const std::vector<unsigned>& sizes,
                         const std::vector<std::string>& damage, unsigned threads, unsigned buffer) {
  std::string in{static_cast<char>(slice_step), static_cast<char>(files - 1), static_cast<char>(recovery)};
  for (std::size_t i = 0; i < sizes.size(); ++i)
    in += static_cast<char>(sizes[i]) + random_bytes(sizes[i], static_cast<unsigned>(20 + i));
  for (const std::string& d : damage) in += d;
  return in + static_cast<char>(threads - 1) + static_cast<char>(buffer);
}

std::vector<std::pair<std::string, std::string>> par2_repair_seeds() {
  const std::string none(1, '\0'), removed(1, '\4');
  const std::string flip("\1\x31\0\x40", 4), cut("\2\x50\0", 3), insert("\3\x10\0\2\xAA", 5);
  return {
      {"one-flip-repairable", repair_input(3, 1, 4, {180}, {flip}, 2, 2)},
      {"three-files-one-removed", repair_input(7, 3, 7, {120, 60, 200}, {none, removed, none}, 4, 255)},
      {"cut-and-insert", repair_input(1, 2, 7, {150, 150}, {cut, insert}, 2, 9)},
      {"too-little-recovery", repair_input(0, 2, 1, {100, 100}, {removed, flip}, 1, 1)},
      {"no-recovery-intact", repair_input(31, 1, 0, {199}, {none}, 3, 40)},
      {"all-removed", repair_input(5, 3, 7, {30, 30, 30}, {removed, removed, removed}, 2, 3)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  const std::string kind = argc == 3 ? argv[2] : "articles";
  if (argc < 2 || argc > 3 || (kind != "articles" && kind != "par2_packets" && kind != "par2_repair")) {
    std::fprintf(stderr, "Usage: make_seeds FOLDER [articles|par2_packets|par2_repair]\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  const auto chosen = kind == "par2_packets" ? par2_packet_seeds()
                      : kind == "par2_repair" ? par2_repair_seeds()
                                              : seeds();
  for (const auto& [name, text] : chosen) vantorelle::test::write_file((folder / name).string(), text);
  return 0;
}
