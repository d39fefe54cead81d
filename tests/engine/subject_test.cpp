// subject_test.cpp - subject keys and part counters.
#include <gtest/gtest.h>

#include "subject.hpp"

namespace vantorelle {
namespace {

struct SubjectCase {
  const char* field;  // the text after "Subject:"
  const char* key;
  std::int32_t part;
  std::int32_t total;
};

TEST(SubjectKey, RightmostCounterOfAnyFormWins) {
  const SubjectCase cases[] = {
      {" Holiday [2/5] - IMG_0001.jpg (1/3)", " Holiday [2/5] - IMG_0001.jpg ", 1, 3},
      {" Holiday [2/5] - notes (draft)", " Holiday ", 2, 5},
      {" Holiday (2/5) (draft/old)", " Holiday ", 2, 5},
      {" report (3 of 7)", " report ", 3, 7},
      {" report (3of7)", " report ", 3, 7},
      {" report ( 3/ 7)", " report ", 3, 7},
      {" report (3 /7)", " report (3 /7)", 1, 1},
      {" report", " report", 1, 1},
      {" report (1/2)", " report ", 1, 2},
      {" a [1/2] b (3 of 4)", " a [1/2] b ", 3, 4},
      {" x (1/2) [3/4]", " x (1/2) ", 3, 4},
      {" Holiday (1/2) - pic.jpg [3/4]", " Holiday (1/2) - pic.jpg ", 3, 4},
      {" [01/15] - pic.jpg (2 of 4)", " [01/15] - pic.jpg ", 2, 4},
      {" x (1 of 2) (3/4", " x (1 of 2) ", 3, 4},
      {" x (1/2", " x ", 1, 2},           // the closing bracket is not required
      {" x (+1/+2)", " x ", 1, 2},
      {" trip (2004) pics (03/10)", " trip (2004) pics ", 3, 10},  // the rightmost bracket first
      {" x (/5)", " x (/5)", 1, 1},                                // a number needs digits
      {" x (3/)", " x (3/)", 1, 1},
      {" x (3 of )", " x (3 of )", 1, 1},
      // Negative numbers do not read as a counter.
      {" x (-3/2)", " x (-3/2)", 1, 1},
      {" x (3/-2)", " x (3/-2)", 1, 1},
      {" x (-1 of 2)", " x (-1 of 2)", 1, 1},
      {" a (1/2) (-3/2)", " a ", 1, 2},
      {" x [-3/2] (1 of 4)", " x [-3/2] ", 1, 4},
      {" x (2147483648/1)", " x (2147483648/1)", 1, 1},  // above the largest part number
      {" x (4294967297/2)", " x (4294967297/2)", 1, 1},
      {" x (0/5)", " x ", 0, 5},
      {" x (a/b) (", " x (a/b) (", 1, 1},  // no counter reads anywhere
      {"", "", 1, 1},
      {" (1/1)", " ", 1, 1},
  };
  for (const auto& c : cases) {
    std::string key;
    std::int32_t part = 0;
    std::int32_t total = 0;
    scan_subject(c.field, key, part, total);
    EXPECT_EQ(key, c.key) << "field «" << c.field << "»";
    EXPECT_EQ(part, c.part) << c.field;
    EXPECT_EQ(total, c.total) << c.field;
  }
}

TEST(SubjectKey, CounterKindsGiveTheSameKey) {
  std::string k1, k2, k3;
  std::int32_t p, t;
  scan_subject(" same (1/2)", k1, p, t);
  scan_subject(" same [1/2]", k2, p, t);
  scan_subject(" same (1 of 2)", k3, p, t);
  EXPECT_EQ(k1, k2);
  EXPECT_EQ(k2, k3);
}

TEST(SubjectKey, EachPatternOnItsOwn) {
  std::string key;
  std::int32_t p = 0, t = 0;
  EXPECT_EQ(_scan_1(" a [1/2]", key, p, t), 0);
  EXPECT_EQ(_scan_2(" a [1/2]", key, p, t), 1);
  EXPECT_EQ(_scan_3(" a (1/2)", key, p, t), 0);
  EXPECT_EQ(_scan_00(" a (1/2)", key, p, t), 1);
  EXPECT_EQ(key, " a (1/2)");
}

}  // namespace
}  // namespace vantorelle
