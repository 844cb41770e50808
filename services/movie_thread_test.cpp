// The banner's worker against a loopback server: what it asks for, in which
// order, when it asks nothing, and that its owner can end it while a server
// is silent. The pictures served here are no decodable GIF, so on every
// platform the widget's fallback must stay.
#include "services/movie_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback_server.h"
#include "base/testing/wait_until.h"
#include "net/net_test_support.h"
#include "server_records_test_server.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::WaitUntil;

// Stands in for the widget: says whether it was drawn and counts what the
// worker hands it.
class CountingSink : public IMovieSink {
 public:
  bool DrawnOnce() const override { return drawn.load(); }
  void ShowMovie(MovieFrames) override { ++movies; }
  void ShowFrame(int) override { ++frames; }

  std::atomic<bool> drawn{false};
  std::atomic<int> movies{0};
  std::atomic<int> frames{0};
};

// The paths the server was asked for, in order, and what it answers each.
class ScriptedServer {
 public:
  using Answer = std::function<std::string(const std::string& path)>;
  explicit ScriptedServer(Answer answer)
      : answer_(std::move(answer)), server_([this](SocketHandle s) { Serve(s); }) {}

  uint16_t Port() const { return server_.Port(); }
  bool Stopping() const { return server_.Stopping(); }
  std::vector<std::string> Paths() {
    std::lock_guard<std::mutex> lock(mutex_);
    return paths_;
  }

 private:
  void Serve(SocketHandle s) {
    const std::string request = testing::ReadUntil(s, "\r\n\r\n", 4096);
    const size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      paths_.push_back(path);
    }
    (void)testing::SendText(s, answer_(path));
  }

  Answer answer_;
  std::mutex mutex_;
  std::vector<std::string> paths_;  // guarded by mutex_
  LoopbackTcpServer server_;        // last: stopped before what it uses goes
};

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Config(const std::string& code, const std::string& gifUrl) {
  return Ok(R"({"code": ")" + code + R"(", "data": {"ProductsShow": {"gif_url": ")" + gifUrl +
            R"("}}})");
}

constexpr char kConfigPath[] = "/applicationService/app/installerConfig?appId=1";

class MovieThreadTest : public testing::NetTest {};

struct FetchCase {
  const char* what;
  std::string code;
  std::string gifPath;  // appended to the server's address; empty: none named
  std::vector<std::string> asked;
};

TEST_F(MovieThreadTest, AsksTheConfigurationThenThePictureItNames) {
  const FetchCase cases[] = {
      {"the named picture is fetched",
       "server.success",
       "/static/b.gif",
       {kConfigPath, "/static/b.gif"}},
      {"another code fetches nothing more", "server.fail", "/static/b.gif", {kConfigPath}},
      {"an address of too few fields fetches nothing more", "server.success", "", {kConfigPath}},
  };
  for (const FetchCase& c : cases) {
    SCOPED_TRACE(c.what);
    uint16_t port = 0;
    ScriptedServer server([&](const std::string& path) {
      if (path == kConfigPath) {
        const std::string base = "http://127.0.0.1:" + std::to_string(port);
        return Config(c.code, c.gifPath.empty() ? "http://127.0.0.1" : base + c.gifPath);
      }
      // A GIF signature and size, then bytes no decoder reads.
      return Ok(std::string("GIF89a\x01\x00\x01\x00", 10) + "not a picture");
    });
    port = server.Port();
    CountingSink sink;
    CMovieThread worker(&sink, {"127.0.0.1", port}, kConfigPath);
    sink.drawn = true;
    ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }));
    EXPECT_EQ(server.Paths(), c.asked);
    EXPECT_EQ(worker.ExitCode(), 1u);
    EXPECT_EQ(sink.movies.load(), 0);
    EXPECT_EQ(sink.frames.load(), 0);
  }
}

// Until the widget has been drawn nothing is asked; an owner that ends the
// page before that ends the worker without a request.
TEST_F(MovieThreadTest, AsksNothingBeforeTheBannerIsDrawnAndAnEmptyHostNothingAtAll) {
  ScriptedServer server([](const std::string&) { return Config("server.fail", ""); });
  {
    CountingSink sink;
    CMovieThread worker(&sink, {"127.0.0.1", server.Port()}, kConfigPath);
    EXPECT_FALSE(
        WaitUntil([&] { return !server.Paths().empty(); }, std::chrono::milliseconds(200)));
  }
  EXPECT_TRUE(server.Paths().empty());
  CountingSink sink;
  CMovieThread worker(&sink, {"", server.Port()}, kConfigPath);
  sink.drawn = true;
  ASSERT_TRUE(WaitUntil([&] { return !worker.IsRunning(); }));
  EXPECT_TRUE(server.Paths().empty());
  EXPECT_EQ(worker.ExitCode(), 1u);
}

// A server that reads the request and never answers, with a time limit no
// test waits for: the quit's stop ends the worker, and so does its owner's
// destruction, whether it waits for the configuration or for the picture.
TEST_F(MovieThreadTest, StopEndsAWorkerWaitingOnASilentServer) {
  constexpr int kNoTestWaitsThisLong = 10 * 60 * 1000;
  const struct {
    const char* what;
    bool silentPicture;  // else the configuration is what never comes
    bool quitStop;       // RequestStop first; else only the destruction
  } cases[] = {
      {"configuration, quit stop", false, true},
      {"configuration, destruction", false, false},
      {"picture, quit stop", true, true},
      {"picture, destruction", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint16_t port = 0;
    testing::ScriptedHttpServer silent([&](int, const std::string& request) {
      if (!c.silentPicture || request.find(kConfigPath) == std::string::npos) {
        return std::string(testing::ScriptedHttpServer::kHang);
      }
      return Config("server.success", "http://127.0.0.1:" + std::to_string(port) + "/slow.gif");
    });
    port = silent.Port();
    CountingSink sink;
    auto worker = std::make_unique<CMovieThread>(&sink, ServerEndpoint{"127.0.0.1", port},
                                                 kConfigPath, kNoTestWaitsThisLong);
    sink.drawn = true;
    ASSERT_TRUE(WaitUntil([&] { return silent.Holding(); }));
    EXPECT_EQ(silent.Requests(), c.silentPicture ? 2 : 1);
    if (c.quitStop) {
      worker->RequestStop();
      EXPECT_TRUE(WaitUntil([&] { return !worker->IsRunning(); }));
      EXPECT_EQ(worker->ExitCode(), 1u);
    }
    worker.reset();
    EXPECT_EQ(sink.movies.load(), 0);
    EXPECT_TRUE(WaitUntil([&] { return silent.PeerClosedWhileHeld() == 1; }));
  }
}

}  // namespace
}  // namespace pelmar
