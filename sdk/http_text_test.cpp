#include "sdk/http_text.h"

#include <gtest/gtest.h>

#include <string>

#include "sdk/envelope.h"
#include "sdk/hmac_sha256.h"

namespace pelmar::vek {
namespace {

TEST(HttpTextTest, SignedRequestExactBytes) {
  const std::string body = "{\"a\":1}";
  const Digest256 mac = HmacSha256("k3y", body);
  const std::string expected =
      "POST /v1.1/installer/package/index HTTP/1.1\r\n"
      "Host: localhost:18480\r\n"
      "Content-Type: application/json\r\n"
      "X-Vek-App: 10001061\r\n"
      "X-Vek-Sign: " +
      HexLower(mac.data(), mac.size()) +
      "\r\n"
      "Content-Length: 7\r\n"
      "Connection: close\r\n\r\n{\"a\":1}";
  EXPECT_EQ(BuildSignedRequest("localhost", 18480, "10001061", "k3y", "/v1.1",
                               "/installer/package/index", body),
            expected);
  EXPECT_EQ(HostHeader("example.test", 80), "example.test");
}

TEST(HttpTextTest, UploadRequestExactBytes) {
  EXPECT_EQ(BuildUploadRequest("h", 8080, "10001061", "/sa?project=production", "{}\n{}"),
            "POST /sa?project=production HTTP/1.1\r\nHost: h:8080\r\n"
            "Content-Type: application/x-ndjson\r\nX-Vek-App: 10001061\r\n"
            "Content-Length: 5\r\nConnection: close\r\n\r\n{}\n{}");
}

struct AckCase {
  const char* name;
  std::string response;
  bool ok;
  size_t accepted;
};

TEST(HttpTextTest, AckParsing) {
  const std::string body = "{\"code\": 0, \"accepted\": 3}";
  const AckCase cases[] = {
      {"length", "HTTP/1.1 200 OK\r\nContent-Length: 26\r\n\r\n" + body, true, 3},
      {"to close", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n" + body + "\n", true, 3},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n{\"cod\r\n15;x=y\r\ne\": 0, "
       "\"accepted\": 3}\r\n0\r\n\r\n",
       true, 3},
      {"no reason", "HTTP/1.1 200\r\n\r\n{\"code\":0,\"accepted\":0}", true, 0},
      {"server error", "HTTP/1.1 500 Internal\r\nContent-Length: 26\r\n\r\n" + body, false, 0},
      {"code not 0", "HTTP/1.1 200 OK\r\n\r\n{\"code\":1,\"accepted\":3}", false, 0},
      {"negative", "HTTP/1.1 200 OK\r\n\r\n{\"code\":0,\"accepted\":-1}", false, 0},
      {"no count", "HTTP/1.1 200 OK\r\n\r\n{\"code\":0}", false, 0},
      {"not json", "HTTP/1.1 200 OK\r\n\r\nok", false, 0},
      {"cut body", "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n" + body, false, 0},
      {"no header end", "HTTP/1.1 200 OK\r\nContent-Length: 26\r\n" + body, false, 0},
      {"2000", "HTTP/1.1 2000 OK\r\n\r\n" + body, false, 0},
      {"bad header", "HTTP/1.1 200 OK\r\nnocolon\r\n\r\n" + body, false, 0},
      {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 26\r\nContent-Length: 26\r\n\r\n" + body,
       false, 0},
      {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n" + body,
       false, 0},
      {"bad chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, 0},
      {"gzip", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n" + body, false, 0},
      {"empty", "", false, 0},
      {"deep nesting",
       "HTTP/1.1 200 OK\r\n\r\n{\"code\":0,\"accepted\":" + std::string(500, '[') + "1}", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    size_t accepted = 12345;
    EXPECT_EQ(ParseUploadAck(c.response, &accepted), c.ok);
    if (c.ok) {
      EXPECT_EQ(accepted, c.accepted);
    }
  }
}

TEST(HttpTextTest, EveryTruncatedLengthFramedAckFails) {
  const std::string full =
      "HTTP/1.1 200 OK\r\nContent-Length: 24\r\n\r\n{\"code\":0,\"accepted\":12}";
  size_t accepted = 0;
  ASSERT_TRUE(ParseUploadAck(full, &accepted));
  EXPECT_EQ(accepted, 12u);
  for (size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    EXPECT_FALSE(ParseUploadAck(std::string_view(full).substr(0, n), &accepted));
  }
}

}  // namespace
}  // namespace pelmar::vek
