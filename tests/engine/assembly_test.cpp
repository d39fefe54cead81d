// assembly_test.cpp - output assembly: missing parts, result codes, CRCs, progress, input hand-over.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "article_writer.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

using test::Message;

class Assembly : public testing::Test {
 protected:
  Assembly() {
    uuSetFNameFilter([this](std::string& name) { return dir.file("out-" + name); });
    // CTest runs every case once more with the parts decoded as they are
    // scanned, the files read on a second thread: nothing may tell the two apart.
    if (const char* ahead = std::getenv("VANTORELLE_TEST_DECODE_AHEAD"); ahead && *ahead == '1') {
      decode_ahead.emplace(dir.str());
    }
  }

  std::string write(const std::string& name, const std::string& text) {
    test::write_file(dir.file(name), text);
    return dir.file(name);
  }

  Catalogue scan(const std::vector<std::string>& paths) {
    Catalogue cat;
    {
      const ScanAhead ahead(decode_ahead ? paths : std::vector<std::string>{});
      for (const auto& p : paths) uuScanFile(cat, p);
    }
    hooks.busy.clear();
    return cat;
  }

  std::vector<int> progress() const {
    std::vector<int> percents;
    for (const auto& b : hooks.busy) {
      if (b.type == kBusyDecoding && b.state == 0) percents.push_back(b.percent);
    }
    return percents;
  }

  test::TempDir dir;
  test::HookRecorder hooks;
  std::optional<DecodeAhead> decode_ahead;
};

std::string bytes(std::size_t n, int seed) {
  std::string d;
  for (std::size_t i = 0; i < n; ++i) d += static_cast<char>((i * 37 + seed * 11 + i / 5) & 0xFF);
  return d;
}

TEST_F(Assembly, MissingPartIsReportedTwiceAndSkipped) {
  const std::string data = bytes(4 * 450 + 10, 1);
  const auto parts = test::uu_articles("gap", "gap.bin", data, 12, "\n");
  ASSERT_EQ(parts.size(), 4u);
  Catalogue cat = scan({write("p1", parts[0]), write("p2", parts[1]), write("p4", parts[3])});
  ASSERT_EQ(cat.size(), 1u);
  EXPECT_EQ(uuDecode(&cat.records()[0]), 1);
  const std::string out = dir.file("out-gap.bin");
  EXPECT_EQ(hooks.messages, (std::vector<Message>{
                                {1, "Missing segment 3 for 'gap.bin'"},
                                {1, "Missing 1 segments for 'gap.bin'"},
                                {1, "Missing segment 3 for '" + out + "'"},
                            }));
  EXPECT_EQ(progress(), (std::vector<int>{25, 50, 75, 100}));
  EXPECT_EQ(hooks.busy.front(), (test::BusyCall{2, -1, out, 0}));
  EXPECT_EQ(hooks.post_processed, (std::vector<std::string>{out}));
  // The gap's messages are no part's damage.
  for (const PartOutcome& part : cat.records()[0].outputs.at(0).parts) EXPECT_EQ(part.state, kPartGood) << part.part;
  // Parts 1, 2 and 4 are there, part 3's bytes are not.
  const std::string written = test::read_file(out);
  EXPECT_LT(written.size(), data.size());
  EXPECT_EQ(written.substr(0, 100), data.substr(0, 100));
}

TEST_F(Assembly, PartsInOneFileAndAcrossFilesInPartOrder) {
  const std::string data = bytes(10000, 2);
  const auto parts = test::yenc_articles("multi", "m.bin", data, 2500);
  ASSERT_EQ(parts.size(), 4u);
  // Parts 1 and 3 share file A, part 2 is in B, part 4 in A again after B.
  Catalogue cat = scan({write("A", parts[2] + parts[0] + parts[3]), write("B", parts[1])});
  uuDecode(&cat.records()[0]);
  EXPECT_EQ(test::read_file(dir.file("out-m.bin")), data);
  EXPECT_TRUE(hooks.messages.empty());
  EXPECT_EQ(cat.records()[0].running_crc, test::crc32_of(data));
}

TEST_F(Assembly, WholeFileCrcMismatchReportedOnceAfterLastPart) {
  const std::string data = bytes(3000, 3);
  auto parts = test::yenc_articles("crc", "c.bin", data, 1000);
  // Change the whole-file CRC of the last part only; part CRCs stay right.
  const std::string good = " crc32=" + test::hex8(test::crc32_of(data));
  parts[2].replace(parts[2].find(good), good.size(), " crc32=00000001");
  Catalogue cat = scan({write("1", parts[0]), write("2", parts[1]), write("3", parts[2])});
  uuDecode(&cat.records()[0]);
  const std::string out = dir.file("out-c.bin");
  EXPECT_EQ(hooks.messages, (std::vector<Message>{{0, "CRC mismatch for destination file '" + out + "'"}}));
  EXPECT_EQ(test::read_file(out), data);
}

TEST_F(Assembly, NoWholeFileCrcMeansNoCheck) {
  const std::string data = bytes(300, 4);
  auto parts = test::yenc_articles("crc", "n.bin", data, 1000);
  const std::string good = " crc32=" + test::hex8(test::crc32_of(data));
  parts[0].erase(parts[0].find(good), good.size());
  Catalogue cat = scan({write("1", parts[0])});
  uuDecode(&cat.records()[0]);
  EXPECT_TRUE(hooks.messages.empty());
}

TEST_F(Assembly, PartCrcMismatchGoesOn) {
  // Parts larger than an output buffer, and parts without ranges, which share
  // buffers: the whole-file CRC still matches, joined from every piece.
  const struct {
    std::size_t part_size;
    bool ranged;
  } cases[] = {{1000, true}, {1000, false}, {300'000, true}, {300'000, false}};
  for (const auto& c : cases) {
    hooks.messages.clear();
    std::filesystem::remove(dir.file("out-p.bin"));
    const std::string data = bytes(3 * c.part_size, 5);
    auto parts = test::yenc_articles("pcrc", "p.bin", data, c.part_size);
    const std::string good =
        "pcrc32=" + test::hex8(test::crc32_of(std::string_view(data).substr(c.part_size, c.part_size)));
    parts[1].replace(parts[1].find(good), good.size(), "pcrc32=00000002");
    for (std::string& part : parts) {
      const std::size_t line = part.find("=ypart ");
      if (!c.ranged) part.erase(line, part.find('\n', line) + 1 - line);
    }
    Catalogue cat = scan({write("1", parts[0]), write("2", parts[1]), write("3", parts[2])});
    uuDecode(&cat.records()[0]);
    const std::string out = dir.file("out-p.bin");
    EXPECT_EQ(hooks.messages,
              (std::vector<Message>{{0, "CRC mismatch for destination file '" + out + "', Segment 2/3"}}))
        << c.part_size << (c.ranged ? " ranged" : "");
    EXPECT_TRUE(test::read_file(out) == data) << "part 3 is still decoded";
  }
}

TEST_F(Assembly, EarlyEndOfInputStopsTheFile) {
  const std::string data = bytes(3 * 450, 6);
  auto parts = test::uu_articles("eof", "e.bin", data, 12, "\n");
  ASSERT_EQ(parts.size(), 3u);
  // Part 2 is cut inside its header block: the input ends before its data.
  std::string& p2 = parts[1];
  p2.resize(p2.find("\n\n"));
  const std::string second = write("2", p2);
  Catalogue cat = scan({write("1", parts[0]), second, write("3", parts[2])});
  EXPECT_EQ(uuDecode(&cat.records()[0]), 1);
  EXPECT_EQ(hooks.messages, (std::vector<Message>{{0, "Early EOF for file '" + second + "'"}}));
  EXPECT_EQ(hooks.post_processed.size(), 1u);
  EXPECT_EQ(progress(), (std::vector<int>{33, 66})) << "part 3 is not reached";
}

TEST_F(Assembly, OutputThatCannotBeCreated) {
  const auto parts = test::yenc_articles("x", "x.bin", "abc", 1000);
  Catalogue cat = scan({write("1", parts[0])});
  uuSetFNameFilter([](std::string&) { return std::string("/nonexistent-folder/x.bin"); });
  EXPECT_EQ(uuDecode(&cat.records()[0]), 0);
  EXPECT_EQ(hooks.messages,
            (std::vector<Message>{{0, "Unable to open destination file '/nonexistent-folder/x.bin' for "
                                      "writing, will skip all related parts"}}));
  EXPECT_TRUE(hooks.post_processed.empty());
}

// While it lives, every write to a regular file past `room` bytes fails as
// on a full disk (the file-size limit, and the signal it raises is ignored).
class FullDisk {
 public:
  explicit FullDisk(rlim_t room = 0) : previous_signal_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = room;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FullDisk() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previous_signal_);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

 private:
  rlimit previous_{};
  void (*previous_signal_)(int);
};

// A failed write, or a stop, ends the output where it would have ended on
// one thread: a part that the worker let decode beyond it says nothing.
TEST_F(Assembly, WriteFailuresAreReportedOnceWhateverTheirSize) {
  const std::string fails = "Unable to write destination file '";
  struct Case {
    std::size_t size;
    rlim_t room;          // bytes the disk takes
    int stop_at_part;     // the busy hook asks for a stop as this part begins
    bool reported;        // the write failure is the only message
  };
  const Case cases[] = {
      {100, 0, 0, true},
      {3u << 20, 0, 0, true},
      {3u << 21, 0, 0, true},  // three uuencoded parts, which the worker writes behind
      {900u << 10, 400'000, 0, true},  // part 2 fills the disk; part 3 has a damaged line
      {900u << 10, 280'000, 0, true},  // the write of part 2 that fills it holds part 1's end
      {900u << 10, 1u << 30, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.size << " bytes, room for " << c.room);
    hooks.messages.clear();
    const bool uu = c.size > 3u << 20 || c.room != 0;
    auto parts = uu ? test::uu_articles("full", "f.bin", bytes(c.size, 7), c.size / 45 / 3 + 2)
                    : test::yenc_articles("full", "f.bin", bytes(c.size, 7), c.size);
    if (c.room != 0) parts.back().erase(parts.back().find("\r\nM", 1000) + 5, 1);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < parts.size(); ++i) files.push_back(write(std::to_string(i + 1), parts[i]));
    Catalogue cat = scan(files);
    const std::string out = dir.file("full-" + std::to_string(c.size) + "-" + std::to_string(c.room));
    uuSetFNameFilter([&out](std::string&) { return out; });
    uuSetBusyCallback([&c](int type, int, std::string_view, int percent) {
      return type == kBusyDecoding && c.stop_at_part != 0 && percent == c.stop_at_part * 100 / 3 ? 1 : 0;
    }, 10);
    {
      const FullDisk full(c.room);
      EXPECT_EQ(uuDecode(&cat.records()[0]), 1);
    }
    dispatch::ResetStateForTesting();
    const std::vector<Message> expected = {{0, fails + out + "', will skip all related parts"}};
    EXPECT_EQ(hooks.messages, c.reported ? expected : std::vector<Message>{});
    EXPECT_EQ(cat.records()[0].outputs.at(0).parts.size(), c.room == 0 ? 1u : 2u);
    EXPECT_EQ(cat.records()[0].outputs.at(0).parts.front().state == kPartDamaged, c.room < 300'000);
    if (c.room != 0 && c.room < 300'000) {
      EXPECT_EQ(cat.records()[0].outputs.at(0).parts.front().length, c.room);  // what reached the file
    }
  }
}

TEST_F(Assembly, WithoutFilterTheNameIsThePath) {
  uuSetFNameFilter({});
  const auto parts = test::yenc_articles("x", "plain.bin", "abc", 1000);
  Catalogue cat = scan({write("1", parts[0])});
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  uuDecode(&cat.records()[0]);
  std::filesystem::current_path(cwd);
  EXPECT_EQ(test::read_file(dir.file("plain.bin")), "abc");
}

TEST_F(Assembly, DirectoryHookMayRewriteTheSubject) {
  uuSetDirectoryCallback([](const std::string& name, std::string& subject) {
    EXPECT_EQ(name, "d.bin");
    EXPECT_EQ(subject, "a/b - \"d.bin\" yEnc ");
    subject[1] = '_';
    return 0;
  });
  const auto parts = test::yenc_articles("a/b", "d.bin", "abc", 1000);
  Catalogue cat = scan({write("1", parts[0])});
  uuDecode(&cat.records()[0]);
  EXPECT_EQ(cat.records()[0].subject, " a_b - \"d.bin\" yEnc ");
}

TEST_F(Assembly, PartsNumberedZeroOrBelowGiveZeroPercent) {
  Catalogue cat;
  const std::string path = write("z", "Subject: z (0/0)\n\n=ybegin line=1 size=1 name=z\n+\n=yend size=1\n");
  uuScanFile(cat, path);
  hooks.busy.clear();
  uuDecode(&cat.records()[0]);
  EXPECT_EQ(progress(), (std::vector<int>{0}));  // part 0 of part_max 0
  EXPECT_TRUE(hooks.messages.empty());
  EXPECT_EQ(test::read_file(dir.file("out-z")), std::string(1, 1));
}

TEST_F(Assembly, PartsBeyondFourGigabytesInASparseFile) {
  const std::string data = bytes(5000, 8);
  const std::string article = test::yenc_articles("far", "far.bin", data, 10'000)[0];
  const std::uint64_t far = (std::uint64_t{5} << 30) + 3;
  const std::string path = dir.file("sparse");
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    ASSERT_EQ(fseeko(f.get(), static_cast<off_t>(far), SEEK_SET), 0);
    std::fwrite(article.data(), 1, article.size(), f.get());
  }
  Catalogue cat;
  auto added = uulist_add_sement(cat, path, " far", 1, 1, far);
  added.segment->end_offset = far + article.size();
  for (std::size_t at = 0; at < article.size(); at = article.find('\n', at) + 1) {
    const std::string_view l(article.data() + at, article.find('\r', at) - at);
    if (l.starts_with("=ybegin ")) uulist_set_yenc_destname(added.record, added.segment, l);
    if (l.starts_with("=yend ")) uulist_set_yenc_end(added.record, added.segment, l);
  }
  ASSERT_EQ(added.record->dest_name, "far.bin");
  uuDecode(added.record);
  EXPECT_TRUE(hooks.messages.empty());
  EXPECT_EQ(test::read_file(dir.file("out-far.bin")), data);
}

// A yEnc article under the given subject: the piece's bytes, the whole file's
// size, and optionally an "=ypart " range (begin 0: none) and its "=yend " line.
std::string yenc_article(const std::string& subject, const std::string& name, std::string_view piece,
                         std::size_t file_size, std::size_t begin = 0, bool yend = true) {
  // A file_size of 0 leaves "size=" out.
  std::string text = "Subject: " + subject + "\n\n=ybegin" +
                     std::string(begin != 0 ? " part=1" : "") + " line=128" +
                     (file_size != 0 ? " size=" + std::to_string(file_size) : "") + " name=" + name + "\n";
  if (begin != 0) {
    text += "=ypart begin=" + std::to_string(begin) + " end=" + std::to_string(begin + piece.size() - 1) + "\n";
  }
  text += test::lines(test::yenc_lines(piece));
  if (yend) text += "=yend size=" + std::to_string(piece.size()) + "\n";
  return text;
}

std::vector<Message> missing_messages(const std::vector<int>& parts, const std::string& name,
                                      const std::string& path, std::size_t count) {
  std::vector<Message> out;
  for (int n : parts) out.push_back({1, "Missing segment " + std::to_string(n) + " for '" + name + "'"});
  if (count != 0) out.push_back({1, "Missing " + std::to_string(count) + " segments for '" + name + "'"});
  for (int n : parts) out.push_back({1, "Missing segment " + std::to_string(n) + " for '" + path + "'"});
  return out;
}

TEST_F(Assembly, PartsUpToThePartTotalOrTheHighestFound) {
  struct Case {
    const char* name;
    std::vector<const char*> counters;  // one input file per counter, parts in that order
    std::vector<int> missing;
    std::vector<int> progress;
    std::string output;  // the parts' bytes are their numbers
  };
  const Case cases[] = {
      {"last part missing", {"(1/3)", "(2/3)"}, {3}, {33, 66, 100}, "12"},
      {"first and last missing", {"(2/4)", "(3/4)"}, {1, 4}, {25, 50, 75, 100}, "23"},
      {"total below the highest part", {"(1/2)", "(2/2)", "(3/2)"}, {}, {33, 66, 100}, "123"},
      {"later total ignored", {"(1/2)", "(2/5)"}, {}, {50, 100}, "12"},
  };
  for (const auto& c : cases) {
    hooks.messages.clear();
    std::filesystem::remove(dir.file("out-t.bin"));  // outputs are never written over
    std::vector<std::string> paths;
    for (const char* counter : c.counters) {
      const std::string part(1, counter[1]);
      paths.push_back(write(std::string("p") + counter[1], yenc_article(std::string("t ") + counter, "t.bin", part, 0)));
    }
    Catalogue cat = scan(paths);
    ASSERT_EQ(cat.size(), 1u) << c.name;
    uuDecode(&cat.records()[0]);
    const std::string out = dir.file("out-t.bin");
    EXPECT_EQ(hooks.messages, missing_messages(c.missing, "t.bin", out, c.missing.size())) << c.name;
    EXPECT_EQ(progress(), c.progress) << c.name;
    EXPECT_EQ(test::read_file(out), c.output) << c.name;
  }
}

TEST_F(Assembly, HugePartNumbersCostNoTimeAndAtMostAHundredLines) {
  struct Case {
    const char* counter;
    int present;
    long long missing;
  };
  for (const Case c : {Case{"(2000000000/1)", 2000000000, 1999999999LL}, Case{"(2023/2024)", 2023, 2023LL},
                       Case{"(500/2147483647)", 500, 2147483646LL}}) {
    hooks.messages.clear();
    std::filesystem::remove(dir.file("out-h.bin"));  // outputs are never written over
    Catalogue cat = scan({write("h", yenc_article(std::string("h ") + c.counter, "h.bin", "x", 1))});
    uuDecode(&cat.records()[0]);
    const std::string out = dir.file("out-h.bin");
    ASSERT_EQ(hooks.messages.size(), 201u) << c.counter;
    EXPECT_EQ(hooks.messages[0], (Message{1, "Missing segment 1 for 'h.bin'"}));
    EXPECT_EQ(hooks.messages[99], (Message{1, "Missing segment 100 for 'h.bin'"}));
    EXPECT_EQ(hooks.messages[100], (Message{1, "Missing " + std::to_string(c.missing) + " segments for 'h.bin'"}));
    EXPECT_EQ(hooks.messages[101], (Message{1, "Missing segment 1 for '" + out + "'"}));
    EXPECT_EQ(hooks.messages[200], (Message{1, "Missing segment 100 for '" + out + "'"}));
    EXPECT_EQ(progress().size(), 101u) << "the reported parts and the one found";
    EXPECT_EQ(test::read_file(out), "x");
    hooks.removed.clear();
    dispatch::ResetStateForTesting();
    uuRemove(&cat.records()[0]);
    EXPECT_EQ(hooks.removed, (std::vector<std::string>{dir.file("h")}));
  }
}

TEST_F(Assembly, YencSizesAreChecked) {
  const std::string data = bytes(3000, 9);
  const std::string_view d(data);
  struct Case {
    const char* name;
    std::vector<std::string> articles;
    std::vector<std::string> messages;  // level 0, %s is the output path
    std::size_t holes = 0;              // "Filled ... with zeros" lines
    std::string output = {};            // the file's bytes; not looked at when empty
  };
  const std::string zeros(1000, '\0');
  const std::string a = yenc_article("s (1/3)", "s.bin", d.substr(0, 1000), 3000, 1);
  const std::string b = yenc_article("s (2/3)", "s.bin", d.substr(1000, 1000), 3000, 1001);
  const std::string c = yenc_article("s (3/3)", "s.bin", d.substr(2000), 3000, 2001);
  std::string cut = b;
  cut.resize(cut.find("=yend") - 200);  // part 2 broke off and lost its =yend line
  std::string longer = b;
  longer.insert(longer.find("=yend"), "+++\n");
  std::string yend_short = b;
  yend_short.replace(yend_short.find("=yend size=1000"), 15, "=yend size=999");
  // Keys in capitals and CRCs written with 0x, of the intact part and of one with a byte changed.
  std::string hex_crc = b;
  hex_crc.replace(hex_crc.find("=yend size=1000"), 15,
                  "=yend SIZE=1000 PCRC32=0x" + test::hex8(test::crc32_of(d.substr(1000, 1000))));
  std::string hex_crc_damaged = hex_crc;
  std::size_t flip = hex_crc_damaged.find('\n', hex_crc_damaged.find("=ypart")) + 1;
  while (hex_crc_damaged[flip] == '=' || hex_crc_damaged[flip + 1] == '=') ++flip;
  hex_crc_damaged[flip] = hex_crc_damaged[flip] == 'a' ? 'b' : 'a';
  const std::string overlapping = yenc_article("s (2/3)", "s.bin", d.substr(1000, 1000), 3000, 901);
  const std::string unranged = yenc_article("s (2/3)", "s.bin", d.substr(1000, 1000), 3000);
  std::string vast = c;  // a size= that three parts of 1000 bytes can never fill
  vast.replace(vast.find("size=3000"), 9, "size=3000000000000");
  // "=ypa" decodes to 3 bytes, as many as the file has.
  const std::string ypart_cut = "Subject: c\n\n=ybegin part=1 total=1 line=128 size=3 name=s.bin\n=ypa";
  std::string size_zero = yenc_article("one", "s.bin", d, 0);
  size_zero.insert(size_zero.find(" name="), " size=0");
  const Case cases[] = {
      {"complete", {a, b, c}, {}, 0, data},
      {"part cut short: the rest of its range stays zeros",
       {a, cut, c},
       {"Size mismatch for destination file '%s', Segment 2/3"},
       1},
      {"part too long: kept within its range", {a, longer, c}, {"Size mismatch for destination file '%s', Segment 2/3"}, 0, data},
      {"middle part missing: a hole at its place", {a, c}, {}, 1, data.substr(0, 1000) + zeros + data.substr(2000)},
      {"first part missing", {b, c}, {}, 1, zeros + data.substr(1000)},
      {"last part missing", {a, b}, {}, 1, data.substr(0, 2000) + zeros},
      {"overlapping ranges: parts follow one another", {a, overlapping, c}, {}, 0, data},
      {"a part without a range: parts follow one another", {unranged, c}, {}, 0, data.substr(1000)},
      {"a size= beyond what the parts can fill: parts follow one another", {vast}, {}, 0, data.substr(2000)},
      {"=yend size= differs", {a, yend_short, c}, {"Size mismatch for destination file '%s', Segment 2/3"}},
      {"capital keys and 0x CRC", {a, hex_crc, c}, {}},
      {"capital keys and 0x CRC, damaged",
       {a, hex_crc_damaged, c},
       {"CRC mismatch for destination file '%s', Segment 2/3"}},
      {"single part without =yend", {yenc_article("one", "s.bin", d.substr(0, 2000), 3000, 0, false)},
       {"Size mismatch for destination file '%s', Segment 1/1"}},
      {"part cut in its =ypart line, of the size by chance", {ypart_cut}, {"Size mismatch for destination file '%s', Segment 1/1"}},
      {"single part of the wrong size", {yenc_article("one", "s.bin", d, 2999)},
       {"Size mismatch for destination file '%s'"}},
      {"no size given", {yenc_article("one", "s.bin", d, 0)}, {}},
      {"size=0 but data", {size_zero}, {"Size mismatch for destination file '%s'"}},
  };
  for (const auto& k : cases) {
    hooks.messages.clear();
    std::filesystem::remove(dir.file("out-s.bin"));  // outputs are never written over
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < k.articles.size(); ++i) paths.push_back(write("z" + std::to_string(i), k.articles[i]));
    Catalogue cat = scan(paths);
    uuDecode(&cat.records()[0]);
    const std::string out = dir.file("out-s.bin");
    std::vector<Message> errors;
    std::size_t holes = 0;
    for (const auto& m : hooks.messages) {
      if (m.level == 0) errors.push_back(m);
      if (m.text.starts_with("Filled ")) ++holes;
    }
    std::vector<Message> expected;
    for (std::string m : k.messages) expected.push_back({0, m.replace(m.find("%s"), 2, out)});
    EXPECT_EQ(errors, expected) << k.name;
    EXPECT_EQ(holes, k.holes) << k.name;
    if (!k.output.empty()) {
      EXPECT_TRUE(test::read_file(out) == k.output) << k.name;
    }
  }
}

TEST_F(Assembly, TextWithoutHeaderMakesNoFile) {
  int directory_calls = 0;
  uuSetDirectoryCallback([&](const std::string&, std::string&) { return ++directory_calls; });
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<Message> messages;
  };
  const Case cases[] = {
      {"plain post", {"Subject: hello\n\nJust some words.\n-- \nsignature\n"}, {}},
      {"capitals that look like data", {"Subject: news\n\nHELLO THERE\n`\nend\n"}, {}},
      {"later part of a posting whose first part is missing",
       {"Subject: big (2/2)\n\nM" + std::string(60, '!') + "\n`\nend\n"},
       {{1, "Missing segment 1 for 'Untitled.Txt'"}, {1, "Missing 1 segments for 'Untitled.Txt'"}}},
  };
  for (const auto& c : cases) {
    hooks.messages.clear();
    hooks.busy.clear();
    hooks.removed.clear();
    Catalogue cat = scan({write("text", c.files[0])});
    ASSERT_EQ(cat.size(), 1u) << c.name;
    EXPECT_EQ(uuDecode(&cat.records()[0]), 1) << c.name;
    EXPECT_EQ(hooks.messages, c.messages) << c.name;
    EXPECT_TRUE(hooks.busy.empty()) << c.name;
    EXPECT_TRUE(hooks.post_processed.empty()) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out-Untitled.Txt"))) << c.name;
    dispatch::ResetStateForTesting();
    uuRemove(&cat.records()[0]);
    EXPECT_EQ(hooks.removed, (std::vector<std::string>{dir.file("text")})) << c.name;
  }
  EXPECT_EQ(directory_calls, 0);
}

TEST_F(Assembly, VanishedInputIsReportedAndTheNextPartDecoded) {
  const std::string data = bytes(3000, 10);
  const auto parts = test::yenc_articles("gone", "g.bin", data, 1000);
  Catalogue cat = scan({write("1", parts[0]), write("2", parts[1]), write("3", parts[2])});
  std::filesystem::remove(dir.file("2"));
  uuDecode(&cat.records()[0]);
  const std::string out = dir.file("out-g.bin");
  EXPECT_EQ(hooks.messages,
            (std::vector<Message>{
                {0, "Unable to open source file '" + dir.file("2") + "', skipping segment 2 of '" + out + "'"},
                {1, "Filled 1000 bytes at offset 1000 of '" + out + "' with zeros"}}))
      << "no whole-file size or CRC message after a skipped part";
  EXPECT_TRUE(test::read_file(out) == data.substr(0, 1000) + std::string(1000, '\0') + data.substr(2000))
      << "part 3 is still decoded, at its place";
  EXPECT_EQ(progress(), (std::vector<int>{33, 66, 100}));
}

TEST_F(Assembly, DuplicatePartsAreReportedAndNotDecoded) {
  const std::string data = bytes(900, 11);
  const auto uu = test::uu_articles("dup", "d.bin", data, 12, "\n");
  ASSERT_EQ(uu.size(), 2u);
  struct Case {
    const char* name;
    std::vector<std::string> files;
    const char* dest;
    std::vector<Message> messages_before_output;
    std::string output;
  };
  const std::string first = yenc_article("same", "first.bin", "first", 5);
  const std::string second = yenc_article("same", "second.bin", "second", 6);
  std::string one_of_three = uu[0];
  one_of_three.replace(one_of_three.find("[1/2]"), 5, "(1/3)");
  std::vector<std::string> many(103, uu[0]);
  many.push_back(uu[1]);
  std::vector<Message> hundred(100, {1, "Duplicate segment 1 for 'd.bin' ignored"});
  hundred.push_back({1, "Ignored 102 duplicate segments for 'd.bin'"});
  const Case cases[] = {
      {"a part saved 103 times", many, "d.bin", hundred, data},
      {"two posts under one subject without counter", {first, second}, "first.bin",
       {{1, "Duplicate segment 1 for 'first.bin' ignored"}}, "first"},
      {"the same part saved twice", {uu[0], uu[0], uu[1]}, "d.bin",
       {{1, "Duplicate segment 1 for 'd.bin' ignored"}}, data},
      {"three parts all labelled (1/3)", {one_of_three, one_of_three, one_of_three}, "d.bin",
       {{1, "Missing segment 2 for 'd.bin'"}, {1, "Missing segment 3 for 'd.bin'"},
        {1, "Missing 2 segments for 'd.bin'"}, {1, "Duplicate segment 1 for 'd.bin' ignored"},
        {1, "Duplicate segment 1 for 'd.bin' ignored"}}, ""},
  };
  for (const auto& c : cases) {
    hooks.messages.clear();
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < c.files.size(); ++i) paths.push_back(write("d" + std::to_string(i), c.files[i]));
    Catalogue cat = scan(paths);
    ASSERT_EQ(cat.size(), 1u) << c.name;
    EXPECT_EQ(cat.records()[0].dest_name, c.dest) << c.name;
    uuDecode(&cat.records()[0]);
    const std::vector<Message> before(hooks.messages.begin(),
                                      hooks.messages.begin() +
                                          static_cast<long>(std::min(hooks.messages.size(), c.messages_before_output.size())));
    EXPECT_EQ(before, c.messages_before_output) << c.name;
    if (!c.output.empty()) {
      EXPECT_EQ(test::read_file(dir.file(std::string("out-") + c.dest)), c.output) << c.name;
    }
  }
}

TEST_F(Assembly, SeparateBinariesUnderOneSubjectStaySeparate) {
  auto uu_post = [](const std::string& counter, const std::string& name, const std::string& data,
                    bool end = true) {
    std::vector<std::string> lines = {"Subject: Holiday pictures " + counter, ""};
    if (!name.empty()) lines.push_back("begin 644 " + name);
    for (auto& l : test::uuencode_lines(data)) lines.push_back(l);
    if (end) lines.push_back("end");
    return test::lines(lines);
  };
  const std::string a = bytes(100, 1), b = bytes(200, 2), c = bytes(50, 3);
  struct Case {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> outputs;
    std::vector<Message> messages;
  };
  const Case cases[] = {
      {"three pictures, one per part",
       {uu_post("(1/3)", "pic1.jpg", a), uu_post("(2/3)", "pic2.jpg", b), uu_post("(3/3)", "pic3.jpg", c)},
       {{"pic1.jpg", a}, {"pic2.jpg", b}, {"pic3.jpg", c}}, {}},
      {"found out of order",
       {uu_post("(3/3)", "pic3.jpg", c), uu_post("(1/3)", "pic1.jpg", a), uu_post("(2/3)", "pic2.jpg", b)},
       {{"pic1.jpg", a}, {"pic2.jpg", b}, {"pic3.jpg", c}}, {}},
      {"the same name again is a repeat",
       {uu_post("(1/2)", "pic.jpg", a, false), uu_post("(2/2)", "pic.jpg", b)},
       {{"pic.jpg", a + b}}, {}},
      {"a picture over two parts between others",
       {uu_post("(1/3)", "pic1.jpg", a), uu_post("(2/3)", "pic2.jpg", b, false), uu_post("(3/3)", "", c)},
       {{"pic1.jpg", a}, {"pic2.jpg", b + c}}, {}},
      {"yEnc trailer without its =ybegin line",
       {"Subject: lost header\n\nabc\n=yend size=3 crc32=12345678\n"}, {{"Untitled.Txt", ""}},
       {{0, "CRC mismatch for destination file '" + dir.file("out-Untitled.Txt") + "'"}}},
  };
  for (const auto& k : cases) {
    hooks.messages.clear();
    for (const auto& out : k.outputs) std::filesystem::remove(dir.file("out-" + out.first));
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < k.files.size(); ++i) paths.push_back(write("s" + std::to_string(i), k.files[i]));
    Catalogue cat = scan(paths);
    ASSERT_EQ(cat.size(), 1u) << k.name;
    uuDecode(&cat.records()[0]);
    EXPECT_EQ(hooks.messages, k.messages) << k.name;
    for (const auto& [name, data] : k.outputs) {
      EXPECT_EQ(test::read_file(dir.file("out-" + name)), data) << k.name << ": " << name;
    }
  }
}

TEST_F(Assembly, SubjectlessFilesAssembleByName) {
  const std::string data = bytes(3000, 12);
  auto parts = test::yenc_articles("x", "n.bin", data, 1000, "\n");
  const std::string other = test::yenc_articles("y", "o.bin", "other", 1000, "\n")[0];
  for (auto& p : parts) p = p.substr(p.find("=ybegin"));
  // Parts in reverse order, another binary between them: each lands where it belongs.
  Catalogue cat = scan({write("a", parts[2]), write("b", other.substr(other.find("=ybegin"))),
                        write("c", parts[1] + parts[0])});
  ASSERT_EQ(cat.size(), 2u);
  for (auto& r : cat.records()) uuDecode(&r);
  EXPECT_TRUE(hooks.messages.empty());
  EXPECT_EQ(test::read_file(dir.file("out-n.bin")), data);
  EXPECT_EQ(test::read_file(dir.file("out-o.bin")), "other");
}

TEST(Removal, EachInputOnceInPartOrder) {
  struct Case {
    std::vector<std::pair<int, const char*>> parts;  // part number, file
    std::vector<std::string> handed_over;
  };
  const Case cases[] = {
      {{{1, "A"}, {2, "A"}, {3, "B"}}, {"A", "B"}},
      {{{1, "A"}, {2, "B"}, {3, "A"}}, {"A", "B"}},
      {{{2, "B"}, {3, "B"}, {4, "C"}}, {"B", "C"}},
      {{{1, "A"}, {2, "B"}, {3, "C"}, {4, "B"}}, {"A", "B", "C", "B"}},
  };
  for (const auto& c : cases) {
    test::HookRecorder hooks;
    Catalogue cat;
    for (const auto& [part, file] : c.parts) uulist_add_sement(cat, file, " k", part, 4, 0);
    EXPECT_EQ(uuRemove(&cat.records()[0]), 0);
    EXPECT_EQ(hooks.removed, c.handed_over);
  }
}

TEST(Removal, WithoutHookOrRecordNothingHappens) {
  test::HookRecorder hooks;
  uuSetInputRemoveCallback({});
  Catalogue cat;
  uulist_add_sement(cat, "A", " k", 1, 1, 0);
  EXPECT_EQ(uuRemove(&cat.records()[0]), 0);
  EXPECT_EQ(uuRemove(nullptr), 0);
  EXPECT_EQ(uuDecode(nullptr), 0);
}

}  // namespace
}  // namespace vantorelle
