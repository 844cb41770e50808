#include "net/proxy_reply.h"

#include <gtest/gtest.h>

#include "net/proxy_discovery.h"

namespace pelmar {
namespace {

TEST(ProxyReplyTest, StatusFromPositionNine) {
  const std::pair<const char*, int> cases[] = {
      {"HTTP/1.1 200 Connection established\r\n\r\n", 200},
      {"HTTP/1.0 200 OK\r\n\r\n", 200},
      {"XXXX/9.9 200whatever", 200},  // version and reason are not looked at
      {"HTTP/1.1 407 Proxy Authentication Required\r\n\r\n", 407},
      {"HTTP/1.1 200", 200},        // twelve characters: just long enough
      {"HTTP/1.1 20", -1},          // eleven: too short
      {"HTTP/1.1 2x0 OK\r\n", 2},   // read like %d: stops at the first non-digit
      {"HTTP/1.1  20 OK\r\n", 20},  // leading white space skipped
      {"", -1},
  };
  for (const auto& [reply, status] : cases) {
    EXPECT_EQ(ProxyReplyStatus(reply), status) << reply;
    EXPECT_EQ(ProxyReplyAccepted(reply), status == 200) << reply;
  }
}

TEST(ProxyListTest, Table) {
  struct Case {
    const char* list;
    int type;
    const char* host;
    uint16_t port;
  };
  const Case cases[] = {
      {"ftp=f.example:21;http=p.example:8080", 1, "p.example", 8080},  // the http entry
      {"proxy.example:3128", 1, "proxy.example", 3128},                // no scheme
      {"http=a:1;b:2", 1, "b", 2},                                     // the last match wins
      {"https=s:443;socks=t:1080", 0, "", 0},                          // no http entry
      {"HTTP=upper:1", 0, "", 0},                                      // scheme is case-sensitive
      {";;=:5;http=:7", 0, "", 0},                                     // empty hosts skipped
      {"", 0, "", 0},
      {"h", 1, "h", 0},            // no port
      {"h:99999", 1, "h", 34463},  // cut to 16 bits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    const ProxyChoice p = ParseProxyList(c.list);
    EXPECT_EQ(p.type, c.type);
    EXPECT_EQ(p.host, c.host);
    EXPECT_EQ(p.port, c.port);
  }
}

}  // namespace
}  // namespace pelmar
