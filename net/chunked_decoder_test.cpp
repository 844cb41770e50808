#include "net/chunked_decoder.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

using Status = CChunkedDecoder::Status;

struct ChunkCase {
  const char* note;
  std::string wire;
  Status status;
  std::string body;
  size_t consumed;  // bytes taken off the wire
};

class ChunkedDecoderTest : public ::testing::TestWithParam<ChunkCase> {};

Status DecodeInPieces(const std::string& wire, size_t split, std::string* body, size_t* consumed) {
  CChunkedDecoder d;
  *consumed = d.Feed(wire.data(), split, body);
  if (d.GetStatus() == Status::kNeedMore)
    *consumed += d.Feed(wire.data() + split, wire.size() - split, body);
  return d.GetStatus();
}

TEST_P(ChunkedDecoderTest, WholeAndEveryTwoPieceSplitAgree) {
  const ChunkCase& c = GetParam();
  for (size_t split = 0; split <= c.wire.size(); ++split) {
    SCOPED_TRACE(split);
    std::string body;
    size_t consumed = 0;
    EXPECT_EQ(DecodeInPieces(c.wire, split, &body, &consumed), c.status);
    if (c.status != Status::kError) {
      EXPECT_EQ(body, c.body);
      EXPECT_EQ(consumed, c.consumed);
    }
  }
}

TEST_P(ChunkedDecoderTest, ByteAtATimeAsTheClientReads) {
  const ChunkCase& c = GetParam();
  CChunkedDecoder d;
  std::string body;
  size_t pos = 0;
  while (d.GetStatus() == Status::kNeedMore && pos < c.wire.size()) {
    const size_t want = std::min(d.BytesWanted(), c.wire.size() - pos);
    ASSERT_GT(want, 0u);
    ASSERT_EQ(d.Feed(c.wire.data() + pos, want, &body), want);
    pos += want;
  }
  EXPECT_EQ(d.GetStatus(), c.status);
  if (c.status != Status::kError) {
    EXPECT_EQ(pos, c.consumed);
  }
  if (c.status == Status::kDone) {
    EXPECT_EQ(body, c.body);
  }
}

const ChunkCase kChunkCases[] = {
    {"one chunk then the end", "4\r\nabcd\r\n0\r\n\r\n", Status::kDone, "abcd", 12},
    {"two chunks, hex sizes either case", "a\r\n0123456789\r\nB\r\nhello world\r\n0\r\n\r\n",
     Status::kDone, "0123456789hello world", 34},
    {"empty body", "0\r\n\r\n", Status::kDone, "", 5},
    {"trailer after the last chunk is not read", "1\r\nx\r\n0\r\nTrailer: y\r\n\r\n", Status::kDone,
     "x", 9},
    {"eight hex digits fit the line", "00000003\r\nabc\r\n0\r\n\r\n", Status::kDone, "abc", 18},
    {"non-hex byte counts as digit 0", "1g\r\n" + std::string(16, 'z') + "\r\n0\r\n\r\n",
     Status::kDone, std::string(16, 'z'), 25},
    {"size line of eleven characters is an error", "000000004\r\nabcd\r\n0\r\n\r\n", Status::kError,
     "", 0},
    {"size with top bit set is negative", "80000000\r\n", Status::kError, "", 0},
    {"size over the body cap", "7FFFFFFF\r\n", Status::kError, "", 0},
    {"a 0 line right after the data stands for the empty line", "2\r\nab0\r\n\r\n", Status::kDone,
     "ab", 10},
    {"truncated in the data", "5\r\nab", Status::kNeedMore, "ab", 5},
    {"truncated in a size line", "5", Status::kNeedMore, "", 1},
};
INSTANTIATE_TEST_SUITE_P(Table, ChunkedDecoderTest, ::testing::ValuesIn(kChunkCases));

TEST(ChunkedDecoderStateTest, StopsConsumingWhenDoneOrFailed) {
  CChunkedDecoder done;
  std::string body;
  EXPECT_EQ(done.Feed("0\r\n\r\nMORE", 9, &body), 5u);
  EXPECT_EQ(done.Feed("1\r\nx", 4, &body), 0u);
  EXPECT_EQ(done.BytesWanted(), 0u);

  CChunkedDecoder failed;
  EXPECT_EQ(failed.Feed("zzzzzzzzzz", 10, &body), 10u);
  EXPECT_EQ(failed.GetStatus(), Status::kError);
  EXPECT_EQ(failed.Feed("0\r\n\r\n", 5, &body), 0u);
  EXPECT_EQ(failed.GetStatus(), Status::kError);
}

TEST(ChunkSizeOfLineTest, Table) {
  const std::pair<std::string, int32_t> cases[] = {
      {"\r\n", 0},
      {"0\r\n", 0},
      {"ff\r\n", 255},
      {"FF\r\n", 255},
      {"12\r", -1},
      {"12", -1},
      {"", -1},
      {"1;ext\r\n", 0x10E00},
      {"123456789\r\n", 0x23456789},  // only the last eight digits count
      {"FFFFFFFF\r\n", -1},
      {"4\r5\r\n", 0x405},
  };
  for (const auto& [line, size] : cases)
    EXPECT_EQ(ChunkSizeOfLine(line.data(), line.size()), size) << line;
}

}  // namespace
}  // namespace pelmar
