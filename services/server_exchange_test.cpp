#include "services/server_exchange.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "base/pelmar_error.h"
#include "base/testing/wait_until.h"
#include "loopback_server.h"
#include "net/net_test_support.h"
#include "server_records_test_server.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::ScriptedHttpServer;
using testing::WaitUntil;

constexpr size_t kLimit = 100;
// Far beyond any wait of these tests: only a stop can end such an exchange.
constexpr int kNoTestWaitsThisLong = 10 * 60 * 1000;

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
    CStopToken stop;
    const ExchangeResult result =
        exchange.Get(stop, {"127.0.0.1", server.Port()}, 2000, "127.0.0.1", "/p", kLimit);
    if (c.refused) {
      EXPECT_EQ(result.outcome, ExchangeOutcome::kFailed);
      EXPECT_EQ(result.failure, "Read body stream error");
    } else {
      EXPECT_EQ(result.outcome, ExchangeOutcome::kAnswered) << result.failure;
      EXPECT_EQ(result.body, c.body);
    }
  }
}

// The three exchanges, so every case runs through each.
using Call = std::function<ExchangeResult(CServerExchange&, const CStopToken&, uint16_t port)>;
struct Kind {
  const char* name;
  Call call;
};

std::vector<Kind> Kinds() {
  return {
      {"get",
       [](CServerExchange& e, const CStopToken& stop, uint16_t port) {
         return e.Get(stop, {"127.0.0.1", port}, kNoTestWaitsThisLong, "127.0.0.1", "/p", kLimit);
       }},
      {"raw",
       [](CServerExchange& e, const CStopToken& stop, uint16_t port) {
         return e.SendRaw(stop, {"127.0.0.1", port}, kNoTestWaitsThisLong,
                          "GET /r HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", kLimit);
       }},
      {"form",
       [](CServerExchange& e, const CStopToken& stop, uint16_t port) {
         HttpForm form;
         form.AddField("uid", "u1");
         return e.PostForm(stop, {"127.0.0.1", port}, kNoTestWaitsThisLong, "127.0.0.1", "/f", form,
                           kLimit);
       }},
  };
}

// Runs `kind` on a thread of its own, as a worker does; its result once ended.
class Running {
 public:
  Running(const Kind& kind, CServerExchange& exchange, const CStopToken& stop, uint16_t port)
      : thread_([&, port] {
          // A stop must come back as a value: nothing may be thrown.
          try {
            result_ = kind.call(exchange, stop, port);
          } catch (...) {
            threw_ = true;
          }
          ended_.store(true);
        }) {}
  ~Running() { thread_.join(); }
  bool Ended() const { return ended_.load(); }
  bool Threw() const { return threw_; }
  const ExchangeResult& Result() const { return result_; }

 private:
  std::atomic<bool> ended_{false};
  bool threw_ = false;
  ExchangeResult result_;
  std::thread thread_;  // last: started once the rest exists
};

// Where the stop finds the exchange: each ends as kStopped, returned.
TEST_F(ServerExchangeTest, AStopAnywhereEndsTheExchangeAsStoppedNotThrown) {
  testing::LoopbackBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  ScriptedHttpServer silent([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    {
      SCOPED_TRACE("raised before the call: nothing is connected");
      CServerExchange exchange;
      CStopToken stop;
      stop.RequestStop();
      const int asked = silent.Requests();
      const ExchangeResult result = kind.call(exchange, stop, silent.Port());
      EXPECT_EQ(result.outcome, ExchangeOutcome::kStopped);
      EXPECT_EQ(silent.Requests(), asked);
    }
    {
      // No socket exists yet to shut down: the token ends the connect.
      SCOPED_TRACE("while connecting to an address that drops every packet");
      CServerExchange exchange;
      CStopToken stop;
      Running running(kind, exchange, stop, hole.Port());
      EXPECT_FALSE(WaitUntil([&] { return running.Ended(); }, std::chrono::milliseconds(300)))
          << "the black hole let the connect through";
      stop.RequestStop();
      ASSERT_TRUE(WaitUntil([&] { return running.Ended(); }));
      EXPECT_FALSE(running.Threw());
      EXPECT_EQ(running.Result().outcome, ExchangeOutcome::kStopped);
    }
    {
      SCOPED_TRACE("while waiting for a server that never answers");
      CServerExchange exchange;
      CStopToken stop;
      const int asked = silent.Requests();
      Running running(kind, exchange, stop, silent.Port());
      ASSERT_TRUE(WaitUntil([&] { return silent.Requests() > asked; }));
      // Repeated, as the owner's stop repeats it: the shutdown may land
      // before the receive begins.
      ASSERT_TRUE(WaitUntil([&] {
        stop.RequestStop();
        exchange.Interrupt();
        return running.Ended();
      }));
      EXPECT_FALSE(running.Threw());
      EXPECT_EQ(running.Result().outcome, ExchangeOutcome::kStopped);
    }
  }
}

// Without a stop, a network failure is a failure with its text, not a stop.
TEST_F(ServerExchangeTest, AFailureWithoutAStopKeepsItsText) {
  ScriptedHttpServer closing([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  for (const Kind& kind : Kinds()) {
    SCOPED_TRACE(kind.name);
    CServerExchange exchange;
    CStopToken stop;
    const ExchangeResult result = kind.call(exchange, stop, closing.Port());
    EXPECT_EQ(result.outcome, ExchangeOutcome::kFailed);
    EXPECT_FALSE(result.failure.empty());
    EXPECT_TRUE(result.body.empty());
  }
}

// The exchange's own stop, for the download's URL query, which keeps its
// stop flag here: the texts it always saw, as exceptions.
TEST_F(ServerExchangeTest, TheQuerysOwnStopEndsAConnectThatHangs) {
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
  EXPECT_FALSE(WaitUntil([&] { return ended.load(); }, std::chrono::milliseconds(300)))
      << "the black hole let the connect through: " << error;
  exchange.RequestStop();
  // A guard against a hang, far below the system's own connect limit.
  ASSERT_TRUE(WaitUntil([&] { return ended.load(); }, std::chrono::seconds(10)))
      << "the stop did not end the connect";
  worker.join();
  EXPECT_EQ(error, "Connect failed");
  EXPECT_TRUE(exchange.StopRequested());
  EXPECT_FALSE(exchange.Pause(kNoTestWaitsThisLong));
}

// StopWorker ends a worker blocked on a silent server and says so.
TEST_F(ServerExchangeTest, StopWorkerEndsAWorkerBlockedOnASilentServer) {
  ScriptedHttpServer silent([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  CServerExchange exchange;
  CWorkerThread worker;
  std::atomic<ExchangeOutcome> outcome{ExchangeOutcome::kAnswered};
  ASSERT_TRUE(worker.Start([&](CStopToken& stop) {
    outcome = exchange
                  .Get(stop, {"127.0.0.1", silent.Port()}, kNoTestWaitsThisLong, "127.0.0.1", "/p",
                       kLimit)
                  .outcome;
    return 0u;
  }));
  ASSERT_TRUE(WaitUntil([&] { return silent.Holding(); }));
  EXPECT_TRUE(exchange.StopWorker(worker));
  worker.Join();
  EXPECT_EQ(outcome.load(), ExchangeOutcome::kStopped);
}

}  // namespace
}  // namespace pelmar
