// assembly_test.cpp - output assembly: missing parts, result codes, CRCs, progress, input hand-over.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include "article_writer.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

using test::Message;

class Assembly : public testing::Test {
 protected:
  Assembly() {
    uuSetFNameFilter([this](std::string& name) { return dir.file("out-" + name); });
  }

  std::string write(const std::string& name, const std::string& text) {
    test::write_file(dir.file(name), text);
    return dir.file(name);
  }

  Catalogue scan(const std::vector<std::string>& paths) {
    Catalogue cat;
    for (const auto& p : paths) uuScanFile(cat, p);
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
  const std::string data = bytes(3000, 5);
  auto parts = test::yenc_articles("pcrc", "p.bin", data, 1000);
  const std::string good = "pcrc32=" + test::hex8(test::crc32_of(std::string_view(data).substr(1000, 1000)));
  parts[1].replace(parts[1].find(good), good.size(), "pcrc32=00000002");
  Catalogue cat = scan({write("1", parts[0]), write("2", parts[1]), write("3", parts[2])});
  uuDecode(&cat.records()[0]);
  const std::string out = dir.file("out-p.bin");
  EXPECT_EQ(hooks.messages,
            (std::vector<Message>{{0, "CRC mismatch for destination file '" + out + "', Segment 2/3"}}));
  EXPECT_EQ(test::read_file(out), data) << "part 3 is still decoded";
}

TEST_F(Assembly, EarlyEndOfInputStopsTheFile) {
  const std::string data = bytes(3 * 450, 6);
  auto parts = test::uu_articles("eof", "e.bin", data, 12, "\n");
  ASSERT_EQ(parts.size(), 3u);
  // Part 2 loses its trailing empty line and its last line break: its data runs into the end.
  std::string& p2 = parts[1];
  p2.resize(p2.size() - 2);
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

// While it lives, every write to a regular file fails as on a full disk
// (the file-size limit is 0, and the signal it raises is ignored).
class FullDisk {
 public:
  FullDisk() : previous_signal_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit none = previous_;
    none.rlim_cur = 0;
    ::setrlimit(RLIMIT_FSIZE, &none);
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

TEST_F(Assembly, WriteFailuresAreReportedOnceWhateverTheirSize) {
  for (std::size_t size : {100u, 3u << 20}) {
    hooks.messages.clear();
    const auto parts = test::yenc_articles("full", "f.bin", bytes(size, 7), size);
    Catalogue cat = scan({write("1", parts[0])});
    const std::string out = dir.file("full-" + std::to_string(size));
    uuSetFNameFilter([&out](std::string&) { return out; });
    {
      const FullDisk full;
      EXPECT_EQ(uuDecode(&cat.records()[0]), 1);
    }
    EXPECT_EQ(hooks.messages,
              (std::vector<Message>{{0, "Unable to write destination file '" + out +
                                            "', will skip all related parts"}}))
        << size << " bytes";
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
  const std::string path = write("z", "Subject: z (0/1)\n\n=ybegin line=1 size=1 name=z\n+\n=yend size=1\n");
  uuScanFile(cat, path);
  hooks.busy.clear();
  uuDecode(&cat.records()[0]);
  EXPECT_EQ(progress(), (std::vector<int>{0}));  // part 0 of part_max 0
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
