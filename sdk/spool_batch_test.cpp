#include "sdk/spool_batch.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar::vek {
namespace {

std::string Line(char c) { return "{\"uid\":\"" + std::string(32, c) + "\",\"type\":6}"; }

TEST(SpoolBatchTest, TakesCompleteRecordsAndSkipsDamagedLines) {
  const std::string spool = Line('a') + "\n" + "{\"uid\":\"aaaa\"}\n" +  // short uid
                            "{\"type\":6,\"ui\n" +                       // cut by power loss
                            Line('b') + "\r\n" + Line('c') + "\n" + "{\"uid\":\"" +
                            std::string(32, 'd');  // unterminated tail
  const SpoolBatch batch = TakeSpoolBatch(spool);
  ASSERT_EQ(batch.lineCount(), 3u);
  EXPECT_EQ(batch.body, Line('a') + "\n" + Line('b') + "\n" + Line('c'));
  // The unterminated tail is left alone.
  EXPECT_EQ(batch.scannedBytes, spool.find("{\"uid\":\"dddd"));
  EXPECT_EQ(ConsumedSpoolBytes(batch, 3), batch.scannedBytes);
  EXPECT_EQ(ConsumedSpoolBytes(batch, 1), Line('a').size() + 1);
  EXPECT_EQ(ConsumedSpoolBytes(batch, 0), 0u);
  EXPECT_EQ(ConsumedSpoolBytes(batch, 99), batch.scannedBytes);
}

TEST(SpoolBatchTest, OnlyGarbageIsConsumedWithoutUpload) {
  const std::string spool = "garbage\n{}\n\n";
  const SpoolBatch batch = TakeSpoolBatch(spool);
  EXPECT_EQ(batch.lineCount(), 0u);
  EXPECT_EQ(ConsumedSpoolBytes(batch, 0), spool.size());
}

TEST(SpoolBatchTest, LimitsSplitIntoSeveralBatches) {
  std::string spool;
  for (char c : std::string("abcdef")) spool += Line(c) + "\n";
  struct Case {
    size_t maxLines, maxBytes, expectLines;
  } cases[] = {
      {2, kMaxBatchBytes, 2},
      {10, kMaxBatchBytes, 6},
      {10, Line('a').size() * 3 + 2, 3},  // exactly three lines with separators
      {10, 1, 1},                         // one line always goes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.maxBytes);
    const SpoolBatch batch = TakeSpoolBatch(spool, c.maxLines, c.maxBytes);
    EXPECT_EQ(batch.lineCount(), c.expectLines);
    EXPECT_EQ(ConsumedSpoolBytes(batch, batch.lineCount()), (Line('a').size() + 1) * c.expectLines);
  }
}

// The cap holds for size and line together: a spool just under it refuses a
// line that would take it over, instead of ending past it for good.
TEST(SpoolBatchTest, SpoolRoomCountsTheLineBeingAppended) {
  const struct {
    uint64_t spool;
    uint64_t append;
    bool room;
  } kCases[] = {
      {0, 1, true},
      {0, kMaxSpoolBytes, true},
      {kMaxSpoolBytes - 100, 100, true},  // exactly full
      {kMaxSpoolBytes - 100, 101, false},
      {kMaxSpoolBytes - 1, 2, false},
      {kMaxSpoolBytes, 0, true},
      {kMaxSpoolBytes, 1, false},
      {kMaxSpoolBytes + 5, 0, false},  // an older writer's file past the cap
      {0, kMaxSpoolBytes + 1, false},
      {1, UINT64_MAX, false},  // no wrap-around
      {UINT64_MAX, 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.spool) + " + " + std::to_string(c.append));
    EXPECT_EQ(SpoolHasRoom(c.spool, c.append), c.room);
  }
}

TEST(SpoolBatchTest, RecordLineValidation) {
  const std::pair<std::string, bool> cases[] = {
      {Line('0'), true},
      {"{\"uid\":\"" + std::string(32, 'A') + "\"}", false},  // upper-case hex
      {"{\"uid\":\"" + std::string(31, 'a') + "\"}", false},
      {"{\"uid\":1}", false},
      {"[" + Line('a') + "]", false},
      {Line('a') + " x", false},
      {"{\"uid\":\"" + std::string(32, 'a') + "\",\"uid\":\"" + std::string(32, 'b') + "\"}",
       false},  // duplicate key
      {"{\"uid\":\"" + std::string(32, 'a') + "\",\"pad\":\"" + std::string(kMaxRecordLine, 'x') +
           "\"}",
       false},  // too long
      {"{\"uid\":\"" + std::string(32, 'a') + "\",\"x\":" + std::string(1000, '[') +
           std::string(1000, ']') + "}",
       false},  // nested past the reader's limit
  };
  for (const auto& [line, valid] : cases) {
    SCOPED_TRACE(line.substr(0, 60));
    EXPECT_EQ(IsRecordLine(line), valid);
  }
}

}  // namespace
}  // namespace pelmar::vek
