#include "net/http_response_header.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

struct HeaderCase {
  const char* note;
  std::string block;
  std::vector<std::string> lines;
  std::string status;
  int64_t content_length;
};

class ResponseHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

// The length the download query takes from a HEAD answer (it uses this
// parsed value, not the lines again).
TEST(ResponseHeaderContentLengthTest, Table) {
  struct Case {
    std::vector<std::string> lines;
    int64_t length;
  } cases[] = {
      {{"HTTP/1.1 200 OK", "Content-Length: 48560128"}, 48560128},
      {{"HTTP/1.1 200 OK", "Content-Length:7"}, 7},
      // Exactly 15 characters is not longer than 15: not a length line.
      {{"HTTP/1.1 200 OK", "Content-Length:"}, 0},
      // Case-sensitive name.
      {{"HTTP/1.1 200 OK", "content-length: 9"}, 0},
      {{"HTTP/1.1 200 OK", "Content-Length: 5000000000"}, 5000000000LL},
      {{"HTTP/1.1 200 OK", "Content-Length: -3"}, -3},
      {{"HTTP/1.1 200 OK", "Content-Length: x", "Content-Length: 4"}, 0},
      {{}, 0},
  };
  for (const Case& c : cases) {
    std::string block;
    for (const std::string& line : c.lines) block += line + "\r\n";
    block += "\r\n";
    SCOPED_TRACE(block);
    EXPECT_EQ(ParseResponseHeader(block).contentLength, c.length);
  }
}

TEST_P(ResponseHeaderTest, Parses) {
  const HeaderCase& c = GetParam();
  const HttpResponseHeader h = ParseResponseHeader(c.block);
  EXPECT_EQ(h.lines, c.lines);
  EXPECT_EQ(h.status, c.status);
  EXPECT_EQ(h.contentLength, c.content_length);
}

const HeaderCase kHeaderCases[] = {
    {"plain 200 with length",
     "HTTP/1.1 200 OK\r\nContent-Length: 12\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length: 12"},
     "200",
     12},
    {"no length gives 0",
     "HTTP/1.1 404 Not Found\r\nServer: x\r\n\r\n",
     {"HTTP/1.1 404 Not Found", "Server: x"},
     "404",
     0},
    {"status line of exactly 11 characters has no status",
     "HTTP/1.1 20\r\n\r\n",
     {"HTTP/1.1 20"},
     "",
     0},
    {"status line of 12 characters", "HTTP/1.1 200\r\n\r\n", {"HTTP/1.1 200"}, "200", 0},
    {"bare LF and CR split lines, empties dropped",
     "HTTP/1.0 302 Found\n\rLocation: /x\r\r\n\n",
     {"HTTP/1.0 302 Found", "Location: /x"},
     "302",
     0},
    {"length name is case-sensitive",
     "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\n",
     {"HTTP/1.1 200 OK", "content-length: 5"},
     "200",
     0},
    {"first length line wins",
     "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nContent-Length: 9\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length: 7", "Content-Length: 9"},
     "200",
     7},
    {"length line of only the name is ignored",
     "HTTP/1.1 200 OK\r\nContent-Length:\r\nContent-Length:3\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length:", "Content-Length:3"},
     "200",
     3},
    {"length read like %lld stops at junk",
     "HTTP/1.1 200 OK\r\nContent-Length:   42abc\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length:   42abc"},
     "200",
     42},
    {"negative length is kept for the caller",
     "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length: -5"},
     "200",
     -5},
    {"huge length saturates",
     "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n",
     {"HTTP/1.1 200 OK", "Content-Length: 99999999999999999999999"},
     "200",
     INT64_MAX},
    {"empty block", "", {}, "", 0},
};
INSTANTIATE_TEST_SUITE_P(Table, ResponseHeaderTest, ::testing::ValuesIn(kHeaderCases));

TEST(ResponseHeaderFieldsTest, ReadsRangeLocationDispositionEncoding) {
  const HttpResponseHeader h = ParseResponseHeader(
      "HTTP/1.1 206 Partial Content\r\n"
      "content-range:  bytes 100-199/1000 \r\n"
      "Location:   http://h/p\r\n"
      "Content-Disposition: attachment; filename=\"a b.exe\"\r\n"
      "Transfer-Encoding: gzip, Chunked\r\n\r\n");
  EXPECT_EQ(h.StatusCode(), 206);
  EXPECT_TRUE(h.contentRange.present);
  EXPECT_TRUE(h.contentRange.valid);
  EXPECT_EQ(h.contentRange.first, 100);
  EXPECT_EQ(h.contentRange.last, 199);
  EXPECT_EQ(h.contentRange.total, 1000);
  EXPECT_TRUE(h.hasLocation);
  EXPECT_EQ(h.location, "http://h/p");
  EXPECT_EQ(h.contentDisposition, "attachment; filename=\"a b.exe\"");
  EXPECT_EQ(h.transferEncoding, "gzip, Chunked");
  EXPECT_TRUE(h.chunked);
  EXPECT_FALSE(h.hasContentLength);
}

TEST(ResponseHeaderFieldsTest, ContentRangeForms) {
  struct Case {
    const char* value;
    bool valid;
    int64_t first, last, total;
  };
  const Case cases[] = {
      {"bytes 0-0/1", true, 0, 0, 1},
      {"bytes 5-9/*", true, 5, 9, -1},
      {"bytes 9-5/10", false, -1, -1, -1},                   // reversed
      {"bytes 0-10/10", false, -1, -1, -1},                  // last beyond the total
      {"bytes */10", false, -1, -1, -1},                     // unsatisfied form
      {"items 0-1/2", false, -1, -1, -1},                    // other unit
      {"bytes -1-5/10", false, -1, -1, -1},                  // sign
      {"bytes 0-1234567890123456789/*", false, -1, -1, -1},  // too many digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const HttpResponseHeader h = ParseResponseHeader(
        std::string("HTTP/1.1 206 X\r\nContent-Range: ") + c.value + "\r\n\r\n");
    EXPECT_TRUE(h.contentRange.present);
    EXPECT_EQ(h.contentRange.valid, c.valid);
    EXPECT_EQ(h.contentRange.first, c.first);
    EXPECT_EQ(h.contentRange.last, c.last);
    EXPECT_EQ(h.contentRange.total, c.total);
  }
}

TEST(ResponseHeaderFieldsTest, StatusCodeNeedsThreeDigits) {
  EXPECT_EQ(ParseResponseHeader("HTTP/1.1 2x0 OK\r\n\r\n").StatusCode(), -1);
  EXPECT_EQ(ParseResponseHeader("HTTP/1.1 301 M\r\n\r\n").StatusCode(), 301);
  EXPECT_EQ(ParseResponseHeader("short\r\n\r\n").StatusCode(), -1);
}

const std::string kFullHeader = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nX: y\r\n\r\n";

TEST(ResponseHeaderReaderTest, StopsAfterBlankLineInEveryTwoPieceSplit) {
  const std::string wire = kFullHeader + "abc";
  for (size_t split = 0; split <= wire.size(); ++split) {
    SCOPED_TRACE(split);
    CResponseHeaderReader reader;
    size_t used = reader.Feed(wire.data(), split);
    if (!reader.IsComplete()) used += reader.Feed(wire.data() + split, wire.size() - split);
    EXPECT_TRUE(reader.IsComplete());
    EXPECT_FALSE(reader.WasCut());
    EXPECT_EQ(used, kFullHeader.size());
    EXPECT_EQ(reader.Text(), kFullHeader);
  }
}

TEST(ResponseHeaderReaderTest, EveryTruncationStaysIncomplete) {
  for (size_t n = 0; n < kFullHeader.size(); ++n) {
    CResponseHeaderReader reader;
    EXPECT_EQ(reader.Feed(kFullHeader.data(), n), n);
    EXPECT_FALSE(reader.IsComplete()) << n;
  }
}

TEST(ResponseHeaderReaderTest, CutsAtTheCap) {
  const std::string endless = "HTTP/1.1 200 OK\r\n" + std::string(2 * kMaxResponseHeaderBytes, 'h');
  CResponseHeaderReader reader;
  EXPECT_EQ(reader.Feed(endless.data(), endless.size()), kMaxResponseHeaderBytes);
  EXPECT_TRUE(reader.IsComplete());
  EXPECT_TRUE(reader.WasCut());
  EXPECT_EQ(reader.Text().size(), kMaxResponseHeaderBytes);
  EXPECT_EQ(reader.Feed("x", 1), 0u);
  EXPECT_EQ(reader.Parse().status, "200");
}

}  // namespace
}  // namespace pelmar
