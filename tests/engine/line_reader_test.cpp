// line_reader_test.cpp - the line rule of the buffered reader, checked against the plain reference.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <random>
#include <thread>

#include "fgetline.hpp"
#include "handoff.hpp"
#include "input_file.hpp"
#include "io_worker.hpp"
#include "read_ahead.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

struct Read {
  std::string text;
  std::uint64_t position;  // after the read
  bool eof;
  bool operator==(const Read&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Read& r) {
  return os << "{\"" << r.text << "\", " << r.position << ", " << (r.eof ? "eof" : "-") << "}";
}

// Reads until the end of the input with the buffered reader.
std::vector<Read> read_all(const std::string& path, std::size_t buffer_size, InputFile::BlockSource* source = nullptr) {
  auto in = InputFile::open(path, buffer_size);
  in->read_from(source);
  std::vector<Read> reads;
  do {
    const std::string_view line = in->read_line();
    reads.push_back({std::string(line), in->position(), in->eof()});
  } while (!reads.back().eof);
  return reads;
}

// The same with the plain reference over stdio.
std::vector<Read> read_all_reference(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  std::vector<Read> reads;
  char buffer[kLineCapacity + 1];
  do {
    const bool line = fgetline(f.get(), buffer) == 1;
    reads.push_back({std::string(buffer), static_cast<std::uint64_t>(std::ftell(f.get())), !line});
  } while (!reads.back().eof);
  return reads;
}

struct LineCase {
  const char* name;
  std::string bytes;
  std::vector<Read> reads;
};

class LineRule : public testing::TestWithParam<LineCase> {};

TEST_P(LineRule, SameWithEveryBufferSize) {
  test::TempDir dir;
  const std::string path = dir.file("in");
  test::write_file(path, GetParam().bytes);
  EXPECT_EQ(read_all_reference(path), GetParam().reads) << "reference";
  for (std::size_t size : {1, 2, 3, 5, 64, 65536}) {
    EXPECT_EQ(read_all(path, size), GetParam().reads) << "buffer " << size;
  }
}

const std::string kLong(1030, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, LineRule,
    testing::Values(
        LineCase{"EmptyFile", "", {{"", 0, true}}},
        LineCase{"LfLines", "a\nb\n", {{"a", 2, false}, {"b", 4, false}, {"", 4, true}}},
        LineCase{"CrLfLines", "a\r\nb\r\n", {{"a", 3, false}, {"b", 6, false}, {"", 6, true}}},
        LineCase{"CrLines", "a\rb\r", {{"a", 2, false}, {"b", 4, false}, {"", 4, true}}},
        LineCase{"SingleEmptyLineAfterLfLine", "h\n\nd\n",
                 {{"h", 2, false}, {"", 3, false}, {"d", 5, false}, {"", 5, true}}},
        LineCase{"EmptyLinesCrLf", "h\r\n\r\n\r\nd",
                 {{"h", 3, false}, {"", 5, false}, {"", 7, false}, {"d", 8, false}, {"", 8, true}}},
        LineCase{"LfCrIsTwoBreaks", "a\n\rb\n", {{"a", 2, false}, {"", 3, false}, {"b", 5, false}, {"", 5, true}}},
        LineCase{"CrCrLf", "a\r\r\nb", {{"a", 2, false}, {"", 4, false}, {"b", 5, false}, {"", 5, true}}},
        LineCase{"LastLineWithoutBreak", "a\nlast", {{"a", 2, false}, {"last", 6, false}, {"", 6, true}}},
        LineCase{"LastNulWithoutBreakIsAnEmptyLine", std::string("a\n\0", 3),
                 {{"a", 2, false}, {"", 3, false}, {"", 3, true}}},
        LineCase{"CrAtEndIsNotTheEnd", "a\r", {{"a", 2, false}, {"", 2, true}}},
        LineCase{"LongLineKeeps1024", kLong + "\nz\n",
                 {{std::string(1024, 'x'), 1031, false}, {"z", 1033, false}, {"", 1033, true}}},
        LineCase{"TextEndsAtNul", std::string("ab\0cd\nz\n", 8),
                 {{"ab", 6, false}, {"z", 8, false}, {"", 8, true}}},
        LineCase{"HighBytesAreData", "\xff\xfe\n", {{"\xff\xfe", 3, false}, {"", 3, true}}}),
    [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(LineReader, MatchesReferenceOnRandomInput) {
  test::TempDir dir;
  const std::string path = dir.file("random");
  std::mt19937 rng(20261207);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\0', '=', ' ', '\xff'};
  for (int round = 0; round < 300; ++round) {
    const std::size_t length = rng() % (round < 200 ? 64 : 4000);
    const bool long_lines = round % 3 == 0;
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) {
      // Some rounds use few line breaks so lines run past 1024 characters.
      const unsigned pick = rng() % (long_lines ? 400 : sizeof alphabet);
      bytes += pick < sizeof alphabet ? alphabet[pick] : 'x';
    }
    test::write_file(path, bytes);
    const auto expected = read_all_reference(path);
    for (std::size_t size : {1, 2, 7, 1024, 1025, 4096}) {
      ASSERT_EQ(read_all(path, size), expected) << "round " << round << " buffer " << size;
    }
  }
}

// Blocks read ahead give the same lines whichever thread reads them: the
// worker, the thread reading the lines, or threads that would otherwise wait
// for the worker's writes, two at once.
TEST(LineReader, ReadAheadGivesTheSameLinesWhicheverThreadReads) {
  test::TempDir dir;
  const std::string path = dir.file("ahead");
  std::string bytes;
  for (int i = 0; bytes.size() < 5 * InputFile::kDefaultBufferSize; ++i) bytes += "line " + std::to_string(i) + "\r\n";
  test::write_file(path, bytes);
  IoWorker worker;
  std::promise<void> written;
  worker.post_write([done = written.get_future().share()] { done.wait(); });  // the worker is busy writing
  ReadAhead ahead(worker, {{path, 0, bytes.size()}});
  EXPECT_TRUE(worker.run_read_here());
  std::thread other([&worker] { worker.run_read_here(); });
  worker.run_read_here();
  other.join();
  written.set_value();
  EXPECT_EQ(read_all(path, InputFile::kDefaultBufferSize, &ahead), read_all_reference(path));
}

// A change made under the lock reaches the waiter whether it comes while
// the waiter still spins or after it has gone to sleep.
TEST(LineReader, HandoffWakesTheWaiterWhileSpinningAndAsleep) {
  for (const auto delay : {std::chrono::microseconds(0), 1000 * Handoff::kSpin}) {
    std::mutex mutex;
    Handoff handoff;
    bool ready = false;
    std::atomic<bool> started = false;
    std::thread waiter([&] {
      std::unique_lock lock(mutex);
      started = true;
      handoff.wait(lock, [&] { return ready; });
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(delay);
    {
      std::lock_guard lock(mutex);
      ready = true;
      handoff.changed();
    }
    handoff.notify_all();
    waiter.join();  // a lost wake-up hangs here
  }
}

TEST(LineReader, SeekClearsEndOfFileAndRereads) {
  test::TempDir dir;
  const std::string path = dir.file("in");
  test::write_file(path, "one\r\ntwo\r\n");
  for (std::size_t size : {2, 4096}) {
    auto in = InputFile::open(path, size);
    in->read_line();
    in->read_line();
    in->read_line();
    ASSERT_TRUE(in->eof());
    in->seek(5);
    EXPECT_FALSE(in->eof());
    EXPECT_EQ(in->read_line(), "two");
    EXPECT_EQ(in->position(), 10u);
    in->seek(0);
    EXPECT_EQ(in->read_line(), "one");
    in->seek(100);  // past the end reads as the end
    in->read_line();
    EXPECT_TRUE(in->eof());
  }
}

TEST(LineReader, PositionsBeyondFourGigabytes) {
  test::TempDir dir;
  const std::string path = dir.file("sparse");
  const std::uint64_t far = (std::uint64_t{1} << 32) + 17;
  {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
    ASSERT_EQ(fseeko(f.get(), static_cast<off_t>(far), SEEK_SET), 0);
    std::fputs("\nhello\r\n", f.get());
  }
  auto in = InputFile::open(path);
  in->seek(far);
  EXPECT_EQ(in->read_line(), "");
  EXPECT_EQ(in->read_line(), "hello");
  EXPECT_EQ(in->position(), far + 8);
}

// Whole lines, however long, read as a head and pieces.
std::vector<Read> read_whole_lines(const std::string& path, std::size_t buffer_size) {
  auto in = InputFile::open(path, buffer_size);
  std::vector<Read> reads;
  do {
    bool cut = false;
    std::string line(in->read_line_head(cut));
    for (bool ended = !cut; !ended;) line += in->read_line_piece(ended);
    reads.push_back({line, in->position(), in->eof()});
  } while (!reads.back().eof);
  return reads;
}

TEST(LineReader, WholeLinesAgreeWithTheCutLinesAtEveryBufferSize) {
  const std::string x(3000, 'x');
  const std::string nul_tail = std::string(1030, 'n') + std::string(1, '\0') + "after";
  const std::string text = x + "\r\n" + std::string(1024, 'a') + "\r" + std::string(1025, 'b') + "\n" +
                           "short\r\n\r\n" + nul_tail + "\r" + std::string(2000, 'z');
  const std::vector<std::string> lines = {x, std::string(1024, 'a'), std::string(1025, 'b'), "short", "",
                                          nul_tail, std::string(2000, 'z'), ""};
  test::TempDir dir;
  const std::string path = dir.file("long");
  test::write_file(path, text);
  for (std::size_t size : {1u, 2u, 3u, 7u, 64u, 1000u, 1025u, 4097u, 1u << 20}) {
    const std::vector<Read> whole = read_whole_lines(path, size);
    const std::vector<Read> cut = read_all(path, size);
    ASSERT_EQ(whole.size(), lines.size()) << size;
    ASSERT_EQ(cut.size(), lines.size()) << size;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(whole[i].text, lines[i]) << size << " line " << i;
      const std::string kept = lines[i].substr(0, lines[i].find('\0')).substr(0, kLineCapacity);
      EXPECT_EQ(cut[i], (Read{kept, whole[i].position, whole[i].eof})) << size << " line " << i;
    }
    EXPECT_TRUE(whole.back().eof);
    EXPECT_EQ(whole.back().position, text.size());
  }
}

TEST(LineReader, LineNumbersCountBreaksAsTheLineRuleDoes) {
  test::TempDir dir;
  const std::string path = dir.file("numbers");
  test::write_file(path, "a\r\nb\rc\n\nd" + std::string(70000, 'x') + "\ne");
  auto in = InputFile::open(path);
  // Position and the number of the line there, asked out of order too.
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {0, 1}, {3, 2}, {5, 3}, {7, 4}, {8, 5}, {70010, 6}, {4, 2}, {2, 2}, {70010, 6}};
  for (const auto& [position, line] : cases) EXPECT_EQ(in->line_number_at(position), line) << position;
}

// /proc/self/mem is a regular file whose first page cannot be read.
TEST(LineReader, ReadErrorIsNotTakenForTheEnd) {
  auto in = InputFile::open("/proc/self/mem");
  if (!in) GTEST_SKIP() << "no /proc/self/mem";
  EXPECT_EQ(in->read_line(), "");
  EXPECT_TRUE(in->eof());
  EXPECT_EQ(in->read_errors(), 1u);
  EXPECT_EQ(in->path(), "/proc/self/mem");
}

TEST(LineReader, MissingFileDoesNotOpen) {
  EXPECT_FALSE(InputFile::open("/nonexistent/dir/file").has_value());
}

// A FIFO without a writer would block the open, /dev/zero never ends: only
// regular files are read.
TEST(LineReader, OnlyRegularFilesOpen) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.file("fifo"), std::string("/dev/zero"), dir.path().string()}) {
    EXPECT_FALSE(InputFile::open(path).has_value()) << path;
  }
}

}  // namespace
}  // namespace vantorelle
