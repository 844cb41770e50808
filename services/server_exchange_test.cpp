#include "services/server_exchange.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "loopback_server.h"
#include "net/net_test_support.h"
#include "base/pelmar_error.h"
#include "base/testing/wait_until.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;

constexpr size_t kLimit = 100;

struct BoundedCase {
  const char* what;
  std::string answer;  // everything the server sends after reading the request
  bool refused;        // "body too large"
  std::string body;
};

std::string Chunked(size_t bytes) {
  char size[16];
  std::snprintf(size, sizeof(size), "%zx", bytes);
  return std::string(size) + "\r\n" + std::string(bytes, 'c') + "\r\n0\r\n\r\n";
}

class ServerExchangeTest : public testing::NetTest {};

TEST_F(ServerExchangeTest, GetRefusesBodiesOverTheCallersLimit) {
  const BoundedCase cases[] = {
      {"within the limit", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, "hello"},
      {"exactly the limit",
       "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + std::string(kLimit, 'x'), false,
       std::string(kLimit, 'x')},
      // Refused from the header alone: nothing of the body needs to arrive.
      {"announced past the limit", "HTTP/1.1 200 OK\r\nContent-Length: 101\r\n\r\n", true, ""},
      {"a multi-gigabyte picture", "HTTP/1.1 200 OK\r\nContent-Length: 4294967296000\r\n\r\n", true,
       ""},
      {"chunked within the limit",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(kLimit), false,
       std::string(kLimit, 'c')},
      {"chunked past the limit",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(kLimit + 1), true, ""},
      {"another status", "HTTP/1.1 404 Not Found\r\nContent-Length: 500\r\n\r\n", false, ""},
  };
  for (const BoundedCase& c : cases) {
    SCOPED_TRACE(c.what);
    LoopbackTcpServer server([&](SocketHandle s) {
      (void)testing::ReadUntil(s, "\r\n\r\n", 4096);
      (void)testing::SendText(s, c.answer);
    });
    CServerExchange exchange;
    try {
      const std::string body =
          exchange.Get({"127.0.0.1", server.Port()}, 2000, "127.0.0.1", "/p", kLimit);
      EXPECT_FALSE(c.refused);
      EXPECT_EQ(body, c.body);
    } catch (const PelmarError& e) {
      EXPECT_TRUE(c.refused) << e.what();
      EXPECT_STREQ(e.what(), "Read body stream error");
    }
  }
}

// No socket exists yet to shut down while connecting: the stop still ends a
// connect towards an address that drops every packet, and no retry follows.
TEST_F(ServerExchangeTest, StopEndsAConnectThatHangs) {
  testing::LoopbackBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  CServerExchange exchange;
  std::atomic<bool> ended{false};
  std::string error;
  std::thread worker([&] {
    try {
      (void)exchange.Get({"127.0.0.1", hole.Port()}, 60000, "127.0.0.1", "/p", kLimit);
    } catch (const PelmarError& e) {
      error = e.what();
    }
    ended.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(ended.load()) << "the black hole let the connect through: " << error;
  exchange.RequestStop();
  // A guard against a hang, far below the system's own connect limit.
  ASSERT_TRUE(testing::WaitUntil([&] { return ended.load(); }, std::chrono::seconds(10)))
      << "the stop did not end the connect";
  worker.join();
  EXPECT_EQ(error, "Connect failed");
}

}  // namespace
}  // namespace pelmar
