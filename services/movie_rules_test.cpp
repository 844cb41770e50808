#include "services/movie_rules.h"

#include <gtest/gtest.h>

#include <cstring>

namespace pelmar {
namespace {

struct ConfigCase {
  const char* what;
  std::string body;
  std::string url;  // empty: no picture
};

TEST(MovieRules, GifUrlOnlyFromASuccessfulConfiguration) {
  const ConfigCase cases[] = {
      {"the backend's answer",
       R"({"code": "server.success", "message": "success", "data": {"appId": "10001061",
          "ProductsShow": {"gif_url": "http://localhost:18480/static/banner.gif"}}})",
       "http://localhost:18480/static/banner.gif"},
      {"other members ignored",
       R"({"x": [1,2], "code": "server.success", "data": {"ProductsShow": {"gif_url": "a", "y": 1}}})",
       "a"},
      {"another code",
       R"({"code": "server.param.invalid", "data": {"ProductsShow": {"gif_url": "a"}}})", ""},
      {"a numeric code", R"({"code": 0, "data": {"ProductsShow": {"gif_url": "a"}}})", ""},
      {"no data", R"({"code": "server.success"})", ""},
      {"data not an object", R"({"code": "server.success", "data": "ProductsShow"})", ""},
      {"no ProductsShow", R"({"code": "server.success", "data": {}})", ""},
      {"gif_url not a string",
       R"({"code": "server.success", "data": {"ProductsShow": {"gif_url": 7}}})", ""},
      {"not JSON", "<html>502</html>", ""},
      {"cut short", R"({"code": "server.success", "data": {"ProductsShow": {"gif_u)", ""},
      {"a JSON array", R"(["server.success"])", ""},
      {"empty body", "", ""},
      {"nested past the reader's limit", std::string(5000, '[') + std::string(5000, ']'), ""},
  };
  for (const ConfigCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ExtractGifUrl(c.body), c.url);
  }
}

TEST(MovieRules, ConfigurationBodyIsBounded) {
  const std::string head =
      R"({"code": "server.success", "data": {"ProductsShow": {"gif_url": "u"}}, "pad": ")";
  std::string body = head + std::string(kMaxInstallerConfigBytes - head.size() - 2, 'p') + "\"}";
  ASSERT_EQ(body.size(), kMaxInstallerConfigBytes);
  EXPECT_EQ(ExtractGifUrl(body), "u");
  body.insert(head.size(), "p");
  EXPECT_EQ(ExtractGifUrl(body), "");
}

struct SplitCase {
  const char* url;
  bool ok;
  const char* host;
  uint16_t port;
  const char* path;
};

TEST(MovieRules, GifUrlSplitsIntoHostPortAndPath) {
  const SplitCase cases[] = {
      {"http://host/a/b.gif", true, "host", 80, "/a/b.gif"},  // port 80 by default
      {"http://127.0.0.1:18480/static/banner.gif", true, "127.0.0.1", 18480, "/static/banner.gif"},
      {"HTTP://host/a/b.gif", true, "host", 80, "/a/b.gif"},     // the scheme in any case
      {"http://host:1/p", true, "host", 1, "/p"},                // lowest port
      {"http://host:65535/p", true, "host", 65535, "/p"},        // highest port
      {"http://host//a///b.gif", true, "host", 80, "/a/b.gif"},  // empty fields dropped
      {"//host/p", false, "", 0, ""},  // no scheme field: "p" would be the host
      {"http://h/static/banner.gif?w=3&h=2", true, "h", 80, "/static/banner.gif?w=3&h=2"},
      {"http://host", false, "", 0, ""},  // two fields
      {"http://host/", false, "", 0, ""},
      {"host/a.gif", false, "", 0, ""},  // no scheme: two fields
      {"", false, "", 0, ""},
      {"http://host:0/a", false, "", 0, ""},                     // port 0
      {"http://host:65536/a", false, "", 0, ""},                 // out of range
      {"http://host:99999999999999999999/a", false, "", 0, ""},  // no overflow
      {"http://host:80x/a", false, "", 0, ""},                   // not decimal
      {"http://host:-1/a", false, "", 0, ""},
      {"http://host:+80/a", false, "", 0, ""},
      {"http://host:/a", false, "", 0, ""},     // empty port
      {"http://:80/a", false, "", 0, ""},       // empty host
      {"http://a:1:2/a", false, "", 0, ""},     // two colons
      {"http://[::1]:80/a", false, "", 0, ""},  // IPv6 literals unsupported
      // Only plain http: no TLS here, and never another scheme fetched as http.
      {"https://host/a/b.gif", false, "", 0, ""},
      {"x://host:1/p", false, "", 0, ""},
      {"file://host/share/b.gif", false, "", 0, ""},
      // Nothing that ends or splits the picture's request line.
      {"http://h/a.gif\r\nGET /injected HTTP/1.1", false, "", 0, ""},
      {"http://h/a.gif\nX: y", false, "", 0, ""},
      {"http://h/a b.gif", false, "", 0, ""},
      {"http://h/a.gif\t", false, "", 0, ""},
      {"http://h\x7f/a.gif", false, "", 0, ""},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.url);
    GifLocation where;
    where.host = "untouched";
    const bool ok = SplitGifUrl(c.url, &where);
    EXPECT_EQ(ok, c.ok);
    if (ok) {
      EXPECT_EQ(where.host, c.host);
      EXPECT_EQ(where.port, c.port);
      EXPECT_EQ(where.path, c.path);
    } else {
      EXPECT_EQ(where.host, "untouched");  // a failure leaves the output alone
    }
  }
}

std::vector<unsigned char> DelayTable(const std::vector<uint32_t>& delays) {
  std::vector<unsigned char> bytes;
  for (uint32_t d : delays) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(d >> (8 * i)));
  }
  return bytes;
}

struct DelayCase {
  const char* what;
  int frameCount;
  std::vector<uint32_t> table;
  size_t extraBytes;  // zero bytes appended after the table
  bool cut;           // one byte less than the table
  bool ok;
  std::vector<uint32_t> expected;
};

TEST(MovieRules, FrameDelaysMustMatchTheFrameCount) {
  const DelayCase cases[] = {
      {"four frames", 4, {25, 25, 25, 25}, 0, false, true, {25, 25, 25, 25}},
      {"one frame", 1, {7}, 0, false, true, {7}},
      {"zero and one raised", 3, {0, 1, 2}, 0, false, true, {10, 10, 2}},
      {"impossible delay cut", 1, {0x7FFFFFFF}, 0, false, true, {65535}},
      {"table shorter than the count", 4, {25, 25, 25}, 0, false, false, {}},
      {"table longer than the count", 2, {25, 25, 25}, 0, false, false, {}},
      {"a partial delay", 2, {25, 25}, 0, true, false, {}},
      {"bytes past the last delay", 2, {25, 25}, 2, false, false, {}},
      {"no frames", 0, {}, 0, false, false, {}},
      {"a negative count", -1, {25}, 0, false, false, {}},
  };
  for (const DelayCase& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> bytes = DelayTable(c.table);
    bytes.resize(bytes.size() + c.extraBytes, 0);
    size_t length = bytes.size();
    if (c.cut) length -= 1;
    bytes.push_back(0xEE);  // a guard byte that must never be read as a delay
    std::vector<uint32_t> delays{99};
    EXPECT_EQ(ReadFrameDelays(c.frameCount, bytes.data(), length, &delays), c.ok);
    EXPECT_EQ(delays, c.ok ? c.expected : std::vector<uint32_t>{99});
  }
}

TEST(MovieRules, FrameCountIsBounded) {
  const std::vector<unsigned char> table =
      DelayTable(std::vector<uint32_t>(kMaxBannerFrames + 1, 5));
  std::vector<uint32_t> delays;
  EXPECT_TRUE(ReadFrameDelays(kMaxBannerFrames, table.data(), table.size() - 4, &delays));
  EXPECT_EQ(delays.size(), static_cast<size_t>(kMaxBannerFrames));
  EXPECT_FALSE(ReadFrameDelays(kMaxBannerFrames + 1, table.data(), table.size(), &delays));
  EXPECT_FALSE(ReadFrameDelays(1, nullptr, 4, &delays));
}

TEST(MovieRules, OnlyAGifWithItsScreenSizeIsDecoded) {
  const struct {
    const char* what;
    std::string bytes;
    bool gif;
    uint32_t width, height;
  } kCases[] = {
      {"GIF89a", std::string("GIF89a\x2c\x01\x97\x00", 10) + "rest", true, 300, 151},
      {"GIF87a", std::string("GIF87a\x01\x00\x01\x00", 10), true, 1, 1},
      {"largest sides", std::string("GIF89a\xff\xff\xff\xff", 10), true, 65535, 65535},
      {"PNG", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false, 0, 0},
      {"BMP", std::string("BM\x36\x00\x00\x00\x00\x00\x00\x00", 10), false, 0, 0},
      {"another GIF version", std::string("GIF88a\x01\x00\x01\x00", 10), false, 0, 0},
      {"lower-case signature", std::string("gif89a\x01\x00\x01\x00", 10), false, 0, 0},
      {"cut short", std::string("GIF89a\x01\x00\x01", 9), false, 0, 0},
      {"zero width", std::string("GIF89a\x00\x00\x01\x00", 10), false, 0, 0},
      {"zero height", std::string("GIF89a\x01\x00\x00\x00", 10), false, 0, 0},
      {"empty", "", false, 0, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    uint32_t width = 7, height = 7;
    EXPECT_EQ(ReadGifScreenSize(c.bytes, &width, &height), c.gif);
    EXPECT_EQ(width, c.gif ? c.width : 7u);
    EXPECT_EQ(height, c.gif ? c.height : 7u);
  }
}

TEST(MovieRules, BannerPixelsAreBounded) {
  const struct {
    uint32_t width, height;
    int frames;
    bool within;
  } kCases[] = {
      {300, 151, 4, true},  // the backend's banner
      {560, 150, 24, true},
      {2048, 2048, 1, true},  // exactly the bound
      {2048, 2048, 2, false},
      {2049, 2048, 1, false},
      {65535, 65535, 1, false},
      {1, 1, kMaxBannerFrames, true},
      {1, 1, kMaxBannerFrames + 1, false},
      {1, 1, 0, false},
      {0, 10, 1, false},
      {10, 0, 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + "x" +
                 std::to_string(c.frames));
    EXPECT_EQ(BannerWithinBounds(c.width, c.height, c.frames), c.within);
  }
}

}  // namespace
}  // namespace pelmar
