// segment_list_test.cpp - a record's segment list: order, stable addresses, copies.
#include <gtest/gtest.h>

#include "vantorelle/engine.hpp"

namespace vantorelle {
namespace {

TEST(SegmentList, KeepsOrderAndAddressesWhileItGrows) {
  SegmentList list;
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.begin(), list.end());
  std::vector<SegmentRecord*> addresses;
  for (int i = 0; i < 1000; ++i) {
    SegmentRecord& s = list.emplace_back();
    s.part = i;
    addresses.push_back(&s);
  }
  ASSERT_EQ(list.size(), 1000u);
  int expected = 0;
  for (const SegmentRecord& s : list) {
    EXPECT_EQ(&s, addresses[static_cast<std::size_t>(expected)]) << "segment " << expected << " moved";
    EXPECT_EQ(s.part, expected++);
  }
  EXPECT_EQ(&list.front(), addresses.front());
  EXPECT_EQ(&list.back(), addresses.back());
}

TEST(SegmentList, CopiesAreDeepAndIndependent) {
  SegmentList list;
  for (int i = 0; i < 3; ++i) list.emplace_back().source_path = "in" + std::to_string(i);
  SegmentList copy = list;
  copy[0].source_path = "changed";
  copy[2].source_path = "changed too";
  EXPECT_EQ(list[0].source_path, "in0");
  EXPECT_EQ(list[2].source_path, "in2");
  EXPECT_NE(&copy[1], &list[1]);
  EXPECT_EQ(copy[1].source_path, "in1");
  copy = list;
  EXPECT_EQ(copy[2].source_path, "in2");
}

}  // namespace
}  // namespace vantorelle
