#include "net/url_component.h"

#include <gtest/gtest.h>

#include "net/parse_url.h"

namespace pelmar {
namespace {

TEST(UrlComponentTest, EncodesEverythingButUnreservedBytes) {
  const struct {
    std::string text;
    std::string encoded;
  } kCases[] = {
      {"huawei00", "huawei00"},  // every channel we hand out stays as it is
      {"a-b.c_d~e", "a-b.c_d~e"},
      {"", ""},
      {"x#y", "x%23y"},              // would start a fragment
      {"x?y&z=1", "x%3Fy%26z%3D1"},  // would start a query or a key of its own
      {"a/b", "a%2Fb"},              // would add a path level
      {"a b", "a%20b"},              // would split the request line
      {"100%", "100%25"},            // an escape of its own
      {"a\r\nb", "a%0D%0Ab"},
      {std::string("a\0b", 3), "a%00b"},
      {"+", "%2B"},
      {"\xE5\x8D\x8E", "%E5%8D%8E"},  // UTF-8 bytes, upper-case hex
      {"\x7F\xFF", "%7F%FF"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.encoded);
    EXPECT_EQ(EncodeUrlComponent(c.text), c.encoded);
  }
}

// Whatever the file name carries, the encoded text keeps an address one
// request line with the component where it was put.
TEST(UrlComponentTest, EveryByteGivesAnAddressThatSplitsWithTheComponentInPlace) {
  for (int b = 0; b < 256; ++b) {
    const std::string text = "ch" + std::string(1, static_cast<char>(b)) + "x";
    const std::string url = "http://h/welcome?_channel=" + EncodeUrlComponent(text) + "&_mid=1";
    SCOPED_TRACE(url);
    ASSERT_TRUE(IsPlainHttpAddress(url));
    const UrlParts parts = SplitUrl(url);
    EXPECT_EQ(parts.path.find('#'), std::string::npos);
    EXPECT_EQ(parts.path.rfind("&_mid=1"), parts.path.size() - 7);
    EXPECT_EQ(parts.path.find('&'), parts.path.size() - 7);
  }
}

}  // namespace
}  // namespace pelmar
