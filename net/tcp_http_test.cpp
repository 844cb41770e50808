#include "net/tcp_http.h"

#include <gtest/gtest.h>

#include <mutex>

#include "base/pelmar_error.h"
#include "loopback_server.h"
#include "net/net_test_support.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::ReadCount;
using testing::ReadUntil;
using testing::SendText;

// Plays one scripted answer per connection and keeps the exact request bytes
// (header, plus the body a Content-Length announces).
class ScriptedHttpServer {
 public:
  explicit ScriptedHttpServer(std::function<void(SocketHandle)> answer)
      : server_([this, answer](SocketHandle c) {
          std::string request = ReadUntil(c, "\r\n\r\n", 16384);
          const HttpResponseHeader h = ParseResponseHeader(request);
          if (h.contentLength > 0) request += ReadCount(c, static_cast<size_t>(h.contentLength));
          {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
          }
          answer(c);
        }) {}
  uint16_t Port() const { return server_.Port(); }
  std::string Request() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.empty() ? "" : requests_.back();
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> requests_;
  LoopbackTcpServer server_;
};

std::function<void(SocketHandle)> Send(const std::string& response) {
  return [response](SocketHandle c) { (void)SendText(c, response); };
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const PelmarError& e) {
    return e.what();
  }
  return "";
}

class TcpHttpTest : public testing::NetTest {};

TEST_F(TcpHttpTest, RequestTextsByteForByte) {
  EXPECT_EQ(CTCPHttp::BuildGetRequest("h.example", "/a?b"),
            "GET /a?b HTTP/1.1\r\nHost: h.example\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(CTCPHttp::BuildGetRequest("", "/"), "GET / HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(
      CTCPHttp::BuildHeadRequest("h", "/f.exe"),
      "HEAD /f.exe HTTP/1.1\r\nHost:h\r\nAccept:*/*\r\n"
      "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n\r\n");
  EXPECT_EQ(
      CTCPHttp::BuildHeadRequest("", "/f"),
      "HEAD /f HTTP/1.1\r\nAccept:*/*\r\n"
      "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\nConnection:close\r\n\r\n");
  EXPECT_EQ(CTCPHttp::BuildPostRequest("a", "/v1/x", 321),
            "POST /v1/x HTTP/1.1\r\nHost: a\r\nContent-Type: multipart/form-data; "
            "boundary=---------------------------7da1f4c300560\r\nContent-Length: "
            "321\r\nConnection: close\r\n\r\n");
}

struct GetCase {
  const char* note;
  std::string response;
  std::string body;   // expected when error is empty
  const char* error;  // expected error text, or ""
  int receive_limit_ms;
};

class HttpGetTest : public TcpHttpTest, public ::testing::WithParamInterface<GetCase> {};

TEST_P(HttpGetTest, AgainstScriptedServer) {
  const GetCase& c = GetParam();
  ScriptedHttpServer server(Send(c.response));
  CTCPHttp http("127.0.0.1", server.Port());
  if (c.receive_limit_ms > 0) {
    ASSERT_TRUE(http.SetTimeouts(c.receive_limit_ms, c.receive_limit_ms));
  }
  std::string body;
  EXPECT_EQ(ErrorOf([&] { body = http.HttpGet("cdn.example", "/p/q?r=1"); }), c.error);
  if (std::string(c.error).empty()) {
    EXPECT_EQ(body, c.body);
  }
  EXPECT_EQ(server.Request(),
            "GET /p/q?r=1 HTTP/1.1\r\nHost: cdn.example\r\nConnection: close\r\n\r\n");
}

const GetCase kGetCases[] = {
    {"200 with length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "hello", "", 0},
    {"404 body left unread", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", "", "",
     0},
    {"chunked",
     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n3\r\nefg\r\n0\r\n\r\n",
     "abcdefg", "", 0},
    {"no length and not chunked is read as chunked",
     "HTTP/1.1 200 OK\r\n\r\n4\r\nwxyz\r\n0\r\n\r\n", "wxyz", "", 0},
    {"length 0 waits for a chunk and sees the close",
     "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", "Server can't send data", 0},
    {"dropped mid-body", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this", "",
     "Server can't send data", 0},
    {"dropped mid-chunk", "HTTP/1.1 200 OK\r\n\r\n10\r\nshort", "", "Server can't send data", 0},
    {"chunk size line too long", "HTTP/1.1 200 OK\r\n\r\n0000000010\r\n", "",
     "Read body stream error", 0},
    {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n4\r\nabcd\r\n0\r\n\r\n", "",
     "Read body stream error", 0},
    {"length beyond the body cap", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999\r\n\r\n", "",
     "Read body stream error", 0},
    {"header that never ends before the close", "HTTP/1.1 200 OK\r\nX: y", "",
     "Server can't send data", 0},
    {"header cut at 4096: the rest is body",
     "HTTP/1.1 200 OK\r\nX: " + std::string(4096, 'a') + "\r\n\r\n", "", "Read body stream error",
     0},
};
INSTANTIATE_TEST_SUITE_P(Table, HttpGetTest, ::testing::ValuesIn(kGetCases));

TEST_F(TcpHttpTest, SlowServerRunsIntoTheReceiveLimit) {
  ScriptedHttpServer server([](SocketHandle c) {
    (void)SendText(c, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
    (void)ReadCount(c, 1);  // holds the connection open without sending more
  });
  CTCPHttp http("127.0.0.1", server.Port());
  ASSERT_TRUE(http.SetTimeouts(300, 300));
  EXPECT_EQ(ErrorOf([&] { (void)http.HttpGet("h", "/slow"); }), "socket recv failed");
}

TEST_F(TcpHttpTest, HeaderOverTheCapLeavesTheRestAsBody) {
  // The cut header's remainder reaches the chunk decoder, which refuses it.
  const std::string filler(5000, 'a');
  ScriptedHttpServer server(Send("HTTP/1.1 200 OK\r\nX: " + filler + "\r\n\r\n"));
  CTCPHttp http("127.0.0.1", server.Port());
  ASSERT_TRUE(http.SetTimeouts(2000, 2000));
  http.Connect();
  http.SendAll(CTCPHttp::BuildGetRequest("h", "/"));
  const HttpResponseHeader h = http.ReadResponseHeader();
  EXPECT_EQ(h.status, "200");
  ASSERT_EQ(h.lines.size(), 2u);
  EXPECT_EQ(h.lines[1].size(), kMaxResponseHeaderBytes - 17);
  char next[8];
  http.RecvExact(next, sizeof next);
  EXPECT_EQ(std::string(next, sizeof next), "aaaaaaaa");
}

TEST_F(TcpHttpTest, HeadReturnsLinesAndSendsNoHostWhenEmpty) {
  ScriptedHttpServer server(
      Send("HTTP/1.1 200 OK\r\nContent-Length: 48560128\r\nContent-Disposition: attachment; "
           "filename=\"s.exe\"\r\n\r\n"));
  CTCPHttp http("127.0.0.1", server.Port());
  const HttpResponseHeader h = http.HttpHead("", "/install.exe");
  EXPECT_EQ(h.status, "200");
  EXPECT_EQ(h.contentLength, 48560128);
  EXPECT_EQ(h.lines.size(), 3u);
  EXPECT_EQ(server.Request(), CTCPHttp::BuildHeadRequest("", "/install.exe"));
  EXPECT_EQ(server.Request().find("Host"), std::string::npos);
}

TEST_F(TcpHttpTest, PostFormSendsAnnouncedLength) {
  ScriptedHttpServer server(Send("HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\nfail"));
  HttpForm form;
  form.AddField("z", "last");
  form.AddField("a", std::string(3000, 'v'));
  CTCPHttp http("127.0.0.1", server.Port());
  EXPECT_EQ(http.HttpPostForm("att.example", "/v1/install/tessel", form), "fail");  // any status
  const std::string request = server.Request();
  const size_t header_end = request.find("\r\n\r\n") + 4;
  const HttpResponseHeader sent = ParseResponseHeader(request.substr(0, header_end));
  EXPECT_EQ(sent.contentLength, static_cast<int64_t>(request.size() - header_end));
  EXPECT_EQ(request.substr(0, header_end),
            CTCPHttp::BuildPostRequest("att.example", "/v1/install/tessel", sent.contentLength));
  EXPECT_LT(request.find("name=\"a\""), request.find("name=\"z\""));
}

TEST_F(TcpHttpTest, RawRequestIsSentUnchanged) {
  ScriptedHttpServer server(Send("HTTP/1.1 403 No\r\n\r\n3\r\nabc\r\n0\r\n\r\n"));
  const std::string raw = "POST /x HTTP/1.1\r\nHost:s\r\nContent-Length: 2\r\n\r\nhi";
  CTCPHttp http("127.0.0.1", server.Port());
  EXPECT_EQ(http.HttpSendRaw(raw), "abc");
  EXPECT_EQ(server.Request(), raw);
}

TEST_F(TcpHttpTest, UnresolvableHostFailsAfterFallback) {
  // Every name fails at the system; the fallback asks a loopback port where
  // no DNS server answers.
  ResolverTestHooks hooks;
  hooks.systemResolve = [](const std::string& host, uint32_t* address) {
    return ParseDottedIpv4(host, address);
  };
  hooks.fallbackResolver = "127.0.0.1";
  hooks.dnsPort = 9;  // discard port: nothing answers on loopback
  hooks.dnsWaitMilliseconds = 200;
  SetResolverTestHooks(hooks);
  EXPECT_EQ(ErrorOf([] { CTCPHttp http("nowhere.example", 80); }), "Can't resolve host name");
  EXPECT_TRUE(logger_.Events().empty());
  EXPECT_EQ(Settings().dnsMode, 0);
}

}  // namespace
}  // namespace pelmar
