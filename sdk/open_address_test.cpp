#include "sdk/open_address.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar::vek {
namespace {

TEST(OpenAddressTest, OnlyPlainHttpPagesAreOpened) {
  const struct {
    std::string url;
    bool openable;
  } kCases[] = {
      {"http://127.0.0.1:18480/welcome?_channel=huawei00&_mid=1", true},
      {"HTTP://h/p", true},
      {"http://h", true},
      // Another scheme, a path or a program: the shell would start something.
      {"file://host/share/x.exe", false},
      {"file:///C:/Users/Public/x.exe", false},
      {"https://h/p", false},
      {"C:\\Users\\Public\\x.exe", false},
      {"\\\\host\\share\\x.exe", false},
      {"x.exe", false},
      {"microsoft-edge:http://h/", false},
      {"shell:startup", false},
      {"http:/h", false},
      {"http:///h", false},
      {"http://", false},
      {"", false},
      // Nothing that splits it into a second argument or ends a line.
      {"http://h/p q", false},
      {"http://h/p\"q", false},
      {"http://h/p\r\n", false},
      {"http://h/p\t", false},
      {"http://h/p\x7f", false},
      {std::string("http://h/p\0x", 12), false},
      {"http://h/" + std::string(9000, 'a'), false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(IsOpenableAddress(c.url), c.openable);
  }
}

}  // namespace
}  // namespace pelmar::vek
