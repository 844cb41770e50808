#include "download/range_response.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

using State = CRangeResponse::State;

// Feeds `bytes` split at `cut` and returns the data handed out.
std::string FeedInTwo(CRangeResponse& r, const std::string& bytes, size_t cut) {
  std::string data;
  const CRangeResponse::Slice a = r.Feed(bytes.data(), cut);
  data.append(bytes, a.offset, a.length);
  const CRangeResponse::Slice b = r.Feed(bytes.data() + cut, bytes.size() - cut);
  data.append(bytes, cut + b.offset, b.length);
  return data;
}

struct ResponseCase {
  const char* why;
  int64_t position;
  int64_t end;
  std::string bytes;
  State state;
  std::string data;
};

class RangeResponseTest : public testing::TestWithParam<ResponseCase> {};

TEST_P(RangeResponseTest, EverySplitGivesTheSameAnswer) {
  const ResponseCase& c = GetParam();
  SCOPED_TRACE(c.why);
  for (size_t cut = 0; cut <= c.bytes.size(); ++cut) {
    SCOPED_TRACE(testing::Message() << "cut at " << cut);
    CRangeResponse r(c.position, c.end);
    EXPECT_EQ(FeedInTwo(r, c.bytes, cut), c.data);
    EXPECT_EQ(r.GetState(), c.state);
  }
}

const char kHead206[] = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes ";

const ResponseCase kCases[] = {
    {"exact answer", 10, 14, std::string(kHead206) + "10-14/100\r\n\r\nabcde", State::kComplete,
     "abcde"},
    {"answer not yet complete", 10, 14, std::string(kHead206) + "10-14/100\r\n\r\nabc",
     State::kBody, "abc"},
    {"bytes past the answered range are dropped", 10, 14,
     std::string(kHead206) + "10-14/100\r\n\r\nabcdeXYZ", State::kComplete, "abcde"},
    {"a shorter answer is taken and ends early", 10, 14,
     std::string(kHead206) + "10-11/100\r\n\r\nabcde", State::kComplete, "ab"},
    {"one-byte range", 7, 7, std::string(kHead206) + "7-7/8\r\n\r\nzq", State::kComplete, "z"},
    {"whole file instead of the range", 10, 14,
     "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nabcde", State::kRejected, ""},
    {"whole file even when the range starts at 0", 0, 4,
     "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcde", State::kRejected, ""},
    {"answer for another start", 10, 14, std::string(kHead206) + "0-14/100\r\n\r\nabcde",
     State::kRejected, ""},
    {"answer beyond the range end", 10, 14, std::string(kHead206) + "10-15/100\r\n\r\nabcdef",
     State::kRejected, ""},
    {"206 without Content-Range", 10, 14, "HTTP/1.1 206 Partial Content\r\n\r\nabcde",
     State::kRejected, ""},
    {"malformed Content-Range", 10, 14, std::string(kHead206) + "10-x/100\r\n\r\nabcde",
     State::kRejected, ""},
    {"chunked range answer", 10, 14,
     std::string(kHead206) +
         "10-14/100\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n",
     State::kRejected, ""},
    {"error status", 10, 14, "HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nbad",
     State::kRejected, ""},
    {"416 range not satisfiable", 10, 14, "HTTP/1.1 416 Range Not Satisfiable\r\n\r\n",
     State::kRejected, ""},
    {"redirect", 10, 14, "HTTP/1.1 302 Found\r\nLocation:   http://b.test:81/x\r\n\r\nbody",
     State::kRedirect, ""},
    {"redirect without Location", 10, 14, "HTTP/1.1 302 Found\r\n\r\n", State::kRejected, ""},
    {"header never ends", 0, 99, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-4/5\r\n",
     State::kHeader, ""},
    {"garbage", 0, 99, std::string("\x00\x01\r\n\r\nabc", 9), State::kRejected, ""},
    {"nothing", 0, 99, "", State::kHeader, ""},
};
INSTANTIATE_TEST_SUITE_P(Cases, RangeResponseTest, testing::ValuesIn(kCases));

TEST(RangeResponseLimitsTest, HeaderOverTheBoundIsRejectedWithoutData) {
  // A header that does not end within the bound must never turn into data.
  std::string bytes = std::string(kHead206) + "0-9/10\r\nX-Pad: ";
  bytes.append(kMaxResponseHeaderBytes, 'p');
  bytes += "\r\n\r\n0123456789";
  CRangeResponse r(0, 9);
  size_t handed = 0;
  for (size_t at = 0; at < bytes.size(); at += 1024) {
    const size_t n = std::min<size_t>(1024, bytes.size() - at);
    handed += r.Feed(bytes.data() + at, n).length;
  }
  EXPECT_EQ(handed, 0u);
  EXPECT_EQ(r.GetState(), State::kRejected);
  EXPECT_FALSE(r.RejectReason().empty());
}

TEST(RangeResponseLimitsTest, RedirectKeepsTheLocationWithoutLeadingSpaces) {
  const std::string bytes = "HTTP/1.1 301 Moved\r\nLocation:  http://other:9/p/q\r\n\r\n";
  CRangeResponse r(0, 9);
  EXPECT_EQ(r.Feed(bytes.data(), bytes.size()).length, 0u);
  EXPECT_EQ(r.GetState(), State::kRedirect);
  EXPECT_EQ(r.Location(), "http://other:9/p/q");
}

TEST(RangeResponseLimitsTest, ByteByByteDeliveryMatchesWholeDelivery) {
  const std::string body(3000, 'd');
  const std::string bytes = std::string(kHead206) + "100-3099/5000\r\n\r\n" + body + "tail";
  CRangeResponse r(100, 4999);
  std::string data;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const CRangeResponse::Slice s = r.Feed(bytes.data() + i, 1);
    data.append(bytes, i + s.offset, s.length);
  }
  EXPECT_EQ(data, body);
  EXPECT_EQ(r.GetState(), State::kComplete);
  EXPECT_EQ(r.AnsweredLast(), 3099);
}

}  // namespace
}  // namespace pelmar
