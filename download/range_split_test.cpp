#include "download/range_split.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

TEST(SplitRangesTest, Table) {
  struct Case {
    int64_t total;
    int count;
    std::vector<std::pair<int64_t, int64_t>> ranges;
  } cases[] = {
      {10, 2, {{0, 4}, {5, 9}}},
      // Odd length: the second range takes the extra byte.
      {11, 2, {{0, 4}, {5, 10}}},
      // One byte: an empty first range, the byte in the second.
      {1, 2, {{0, -1}, {0, 0}}},
      {0, 2, {{0, -1}, {0, -1}}},
      {48560128, 2, {{0, 24280063}, {24280064, 48560127}}},
      {7, 3, {{0, 1}, {2, 3}, {4, 6}}},
      {5000000001LL, 2, {{0, 2499999999LL}, {2500000000LL, 5000000000LL}}},
      {10, 0, {}},
      {-1, 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.total << " / " << c.count);
    const std::vector<RangeBounds> got = SplitRanges(c.total, c.count);
    ASSERT_EQ(got.size(), c.ranges.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, c.ranges[i].first) << i;
      EXPECT_EQ(got[i].last, c.ranges[i].second) << i;
    }
  }
}

TEST(SplitRangesTest, RangesCoverTheFileOnceInOrder) {
  for (int64_t total = 0; total <= 40; ++total) {
    for (int count = 1; count <= 5; ++count) {
      SCOPED_TRACE(testing::Message() << total << " / " << count);
      int64_t next = 0;
      for (const RangeBounds& r : SplitRanges(total, count)) {
        if (r.first > r.last) continue;
        EXPECT_EQ(r.first, next);
        next = r.last + 1;
      }
      EXPECT_EQ(next, total);
    }
  }
}

// The announced length sizes the file before any byte arrives.
TEST(TargetSizeTest, AnnouncedLengthWithinTheLimitAndTheRecord) {
  const struct {
    const char* what;
    int64_t announced;
    int64_t recorded;
    bool acceptable;
  } kCases[] = {
      {"no record size: any sane length", 48560128, 0, true},
      {"the record's size", 48560128, 48560128, true},
      {"one byte off the record", 48560129, 48560128, false},
      {"shorter than the record", 1000, 48560128, false},
      {"at the limit", kMaxSetupProgramBytes, 0, true},
      {"past the limit", kMaxSetupProgramBytes + 1, 0, false},
      {"past the limit even if recorded", kMaxSetupProgramBytes + 1, kMaxSetupProgramBytes + 1,
       false},
      {"huge", INT64_MAX, 0, false},
      {"zero", 0, 0, false},
      {"negative", -1, 0, false},
      {"a negative record size names none", 5000, -1, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsAcceptableTargetSize(c.announced, c.recorded), c.acceptable);
  }
}

}  // namespace
}  // namespace pelmar
