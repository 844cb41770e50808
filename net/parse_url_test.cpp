#include "net/parse_url.h"

#include <gtest/gtest.h>

#include "base/pelmar_error.h"
#include "net/net_test_support.h"

namespace pelmar {
namespace {

struct UrlCase {
  const char* url;
  std::string host;
  uint16_t port;
  std::string path;
};

class ParseUrlTest : public testing::NetTest, public ::testing::WithParamInterface<UrlCase> {};

TEST_P(ParseUrlTest, Splits) {
  const UrlCase& c = GetParam();
  const UrlParts parts = ParseUrl(c.url);
  EXPECT_EQ(parts.host, c.host);
  EXPECT_EQ(parts.port, c.port);
  EXPECT_EQ(parts.path, c.path);
  EXPECT_TRUE(logger_.Events().empty());
}

const UrlCase kUrls[] = {
    // host, port, two segments and a query
    {"http://cdn.example:8080/a/b?x=1", "cdn.example", 8080, "/a/b?x=1"},
    // runs of slashes collapse, a trailing slash disappears
    {"http://h//a///b/", "h", 80, "/a/b"},
    // the scheme in any case
    {"HTTP://h/p", "h", 80, "/p"},
    {"Http://h:81/p", "h", 81, "/p"},
    // a "/" inside the query separates like any other
    {"http://h/p?u=/x/y", "h", 80, "/p?u=/x/y"},
    // the port text is read like %lld: no leading digits give 0
    {"http://h:abc/p", "h", 0, "/p"},
    {"http://h:81x/p", "h", 81, "/p"},
    // cut to 16 bits
    {"http://h:65617/p", "h", 81, "/p"},
    {"http://h:-1/p", "h", 65535, "/p"},
    {"http://10.0.0.1:1/p", "10.0.0.1", 1, "/p"},
};
INSTANTIATE_TEST_SUITE_P(Table, ParseUrlTest, ::testing::ValuesIn(kUrls));

struct BadUrlCase {
  std::string url;
  const char* inner_error;
};

class ParseUrlFailureTest : public testing::NetTest,
                            public ::testing::WithParamInterface<BadUrlCase> {};

TEST_P(ParseUrlFailureTest, RaisesAndReportsOnce) {
  const BadUrlCase& c = GetParam();
  try {
    (void)SplitUrl(c.url);
    FAIL() << "no error";
  } catch (const PelmarError& e) {
    EXPECT_STREQ(e.what(), c.inner_error);
  }
  EXPECT_TRUE(logger_.Events().empty());
  try {
    (void)ParseUrl(c.url);
    FAIL() << "no error";
  } catch (const PelmarError& e) {
    EXPECT_STREQ(e.what(), "init url failed");
  }
  const auto events = logger_.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "vSoftDownloadError");
  EXPECT_EQ(events[0].strings.at("error_type"), "获取下载信息线程出错");
  EXPECT_EQ(events[0].strings.at("error_status"), "初始化失败");
}

const BadUrlCase kBadUrls[] = {
    {"http://host", "invalid url"},
    {"http://host/", "invalid url"},
    {"http:////host//", "invalid url"},
    {"", "invalid url"},
    {"http://a:1:2/p", "invalid host"},
    {"http://:::/p", "invalid host"},
    {"http://h/" + std::string(kMaxUrlBytes, 'p'), "invalid url"},
    // Host and path go into request lines: nothing may end or split a line.
    {"http://h/p\r\nX-Injected: 1", "invalid url"},
    {"http://h/p\nHost: other", "invalid url"},
    {"http://h/a b", "invalid url"},
    {"http://h/p?q=\x01", "invalid url"},
    {"http://h/p\x7f", "invalid url"},
    {"http://h/p\tq", "invalid url"},
    {"http://h\r\nX: y/p", "invalid url"},
    {"http://h x:80/p", "invalid url"},
    {"http://h: 81/p", "invalid url"},  // a blank anywhere splits the request line
    {std::string("http://h/p\0q", 12), "invalid url"},
    {"http://h\r:80/p", "invalid url"},
    // Only plain http is asked for or followed: no TLS here, and another
    // scheme would not be an HTTP exchange at all.
    {"https://h/p", "invalid url"},
    {"file://host/share/x.exe", "invalid url"},
    {"ftp://h/p", "invalid url"},
    {"x/h/p", "invalid url"},
    {"/h/p", "invalid url"},
    {"http:/h/p", "invalid url"},
    {"http:h/p", "invalid url"},
    {"http:///h/p", "invalid url"},
    {"httpx://h/p", "invalid url"},
    {" http://h/p", "invalid url"},
    {"C:\\Users\\Public\\x.exe", "invalid url"},
};
INSTANTIATE_TEST_SUITE_P(Table, ParseUrlFailureTest, ::testing::ValuesIn(kBadUrls));

// The address check on its own, as the openers and the banner use it.
TEST(PlainHttpAddressTest, AcceptsOnlyPlainHttpThatFitsARequestLine) {
  const struct {
    std::string url;
    bool plain;
  } kCases[] = {
      {"http://h/p", true},
      {"HtTp://h:8080/a?b=c&d=%20", true},
      {"http://h", true},  // no path: still an address; splitting it is another matter
      {"https://h/p", false},
      {"file:///C:/x.exe", false},
      {"file://host/share/x.exe", false},
      {"mailto:a@b", false},
      {"javascript:alert(1)", false},
      {"microsoft-edge:http://h/p", false},
      {"C:\\x.exe", false},
      {"-incognito", false},
      {"http://", false},
      {"http:///p", false},
      {"http://h/p q", false},
      {"http://h/p\r\nX: 1", false},
      {"http://h/p\"", true},  // a quote ends no request line; the browser opener refuses it
      {std::string("http://h/\0", 10), false},
      {"http://h/" + std::string(kMaxUrlBytes, 'p'), false},
      {"", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(IsPlainHttpAddress(c.url), c.plain);
  }
}

}  // namespace
}  // namespace pelmar
