// empty_lines_test.cpp - the remembered empty-line search against reading line by line.
#include <gtest/gtest.h>

#include <random>

#include "empty_lines.hpp"
#include "test_support.hpp"

namespace vantorelle {
namespace {

struct Where {
  std::optional<std::uint64_t> after;  // the position after the empty line
  std::uint64_t position;
  bool eof;
  bool operator==(const Where&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Where& w) {
  return os << "{" << (w.after ? std::to_string(*w.after) : "none") << ", at " << w.position
            << (w.eof ? " eof" : "") << "}";
}

// The plain way: read lines until an empty one or the end.
Where read_plainly(const std::string& path, std::uint64_t from) {
  auto in = InputFile::open(path);
  in->seek(from);
  for (;;) {
    const std::string_view line = in->read_line();
    if (in->eof()) return {std::nullopt, in->position(), true};
    if (line.empty()) return {in->position(), in->position(), false};
  }
}

// Every position a line read can leave the input at, reading from 0.
std::vector<std::uint64_t> line_starts(const std::string& path) {
  auto in = InputFile::open(path);
  std::vector<std::uint64_t> starts;
  for (;;) {
    in->read_line();
    if (in->eof()) return starts;
    starts.push_back(in->position());
  }
}

TEST(EmptyLines, RememberedAnswersMatchReadingLineByLine) {
  test::TempDir dir;
  std::mt19937_64 rng(0x656d7074);
  const std::string alphabet[] = {"ab", "ab\r\n", "a\r\n\0", "abcdefgh\n"};
  for (int round = 0; round < 300; ++round) {
    // Each round a new file: the index is per file (its identity includes the size).
    const std::string path = dir.file("in" + std::to_string(round));
    const std::string& letters = alphabet[round % 4];
    std::string text(rng() % 3000, 'a');
    for (auto& c : text) c = letters[rng() % letters.size()];
    test::write_file(path, text);
    const auto starts = line_starts(path);
    if (starts.empty()) continue;
    const std::size_t buffer_sizes[] = {1, 7, 4096};
    for (int query = 0; query < 40; ++query) {
      const std::uint64_t from = starts[rng() % starts.size()];
      auto in = InputFile::open(path, buffer_sizes[rng() % 3]);
      const auto after = EmptyLineIndexFor(*in).skip_to_empty_line(*in, from);
      const Where got{after, in->position(), in->eof()};
      ASSERT_EQ(got, read_plainly(path, from)) << "round " << round << ", from " << from;
    }
  }
}

TEST(EmptyLines, EveryLaterQueryMeetsTheEndWhenNoEmptyLineFollows) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "Subject: " + std::to_string(i) + "\n";
  test::write_file(dir.file("in"), text);
  auto in = InputFile::open(dir.file("in"));
  EmptyLineIndex& index = EmptyLineIndexFor(*in);
  std::uint64_t from = 0;
  std::size_t asked = 0;
  while ((from = text.find('\n', from)) != std::string::npos) {
    ++from;
    ++asked;
    EXPECT_FALSE(index.skip_to_empty_line(*in, from).has_value());
    EXPECT_TRUE(in->eof());
  }
  EXPECT_EQ(asked, 20000u);
}

}  // namespace
}  // namespace vantorelle
