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
    // the scheme is not looked at: https still defaults to 80
    {"https://h/p", "h", 80, "/p"},
    // a "/" inside the query separates like any other
    {"http://h/p?u=/x/y", "h", 80, "/p?u=/x/y"},
    // the port text is read like %lld: no leading digits give 0
    {"http://h:abc/p", "h", 0, "/p"},
    {"http://h: 81x/p", "h", 81, "/p"},
    // cut to 16 bits
    {"http://h:65617/p", "h", 81, "/p"},
    {"http://h:-1/p", "h", 65535, "/p"},
    // no scheme at all: the first piece is still taken as one
    {"x/h/p", "h", 80, "/p"},
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
};
INSTANTIATE_TEST_SUITE_P(Table, ParseUrlFailureTest, ::testing::ValuesIn(kBadUrls));

}  // namespace
}  // namespace pelmar
