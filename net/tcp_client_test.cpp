#include "net/tcp_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "base/pelmar_error.h"
#include "base/testing/wait_until.h"
#include "loopback_server.h"
#include "net/dns_client.h"
#include "net/net_test_support.h"
#include "net/network_check_report.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::LoopbackUdpServer;
using testing::ReadCount;
using testing::ReadUntil;
using testing::SendText;

// Exposes the socket step so each of its failures can be checked alone.
class TestClient : public CTCPClient {
 public:
  using CTCPClient::OpenSocket;
};

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const PelmarError& e) {
    return e.what();
  }
  return "";
}

// A target that answers "ping\n" with "pong".
LoopbackTcpServer::Handler PingTarget() {
  return [](SocketHandle c) {
    if (ReadUntil(c, "\n", 64) == "ping\n") (void)SendText(c, "pong");
  };
}

// A port where nothing listens (bound and closed again).
uint16_t DeadPort() {
  CSocket s(SockOpenTcp());
  EXPECT_TRUE(SockBind(s.Get(), LoopbackAddress(), 0));
  return SockLocalPort(s.Get());
}

enum class ProxyMode { kAccept, kRefuse407, kSilent };

// A CONNECT proxy that records each request and then, when it accepts,
// plays the target itself on the same connection.
class ScriptedProxy {
 public:
  explicit ScriptedProxy(ProxyMode mode)
      : server_([this, mode](SocketHandle c) {
          const std::string request = ReadUntil(c, "\r\n\r\n", 2048);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
          }
          if (mode == ProxyMode::kAccept) {
            (void)SendText(c, "HTTP/1.1 200 Connection established\r\n\r\n");
            if (ReadUntil(c, "\n", 64) == "ping\n") (void)SendText(c, "pong");
          } else if (mode == ProxyMode::kRefuse407) {
            (void)SendText(c, "HTTP/1.1 407 Proxy Authentication Required\r\n\r\n");
          } else {
            (void)ReadCount(c, 1);  // says nothing; waits for the client to give up
          }
        }) {}
  uint16_t Port() const { return server_.Port(); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> requests_;
  LoopbackTcpServer server_;
};

// Names ending in ".test" resolve to loopback, dotted addresses to
// themselves; every other name fails. No DNS server is ever asked.
bool LoopbackNames(const std::string& host, uint32_t* address) {
  if (host.size() > 5 && host.compare(host.size() - 5, 5, ".test") == 0) {
    *address = LoopbackAddress();
    return true;
  }
  return ParseDottedIpv4(host, address);
}

class TcpClientTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ResolverTestHooks hooks;
    hooks.systemResolve = &LoopbackNames;
    SetResolverTestHooks(hooks);
  }
  void Exchange(CTCPClient& c) {
    c.SendAll("ping\n");
    char reply[4];
    c.RecvExact(reply, 4);
    EXPECT_EQ(std::string(reply, 4), "pong");
  }
};

TEST_F(TcpClientTest, DirectConnectWritesNothingBack) {
  LoopbackTcpServer target(PingTarget());
  CTCPClient c;
  ResolveHost(c, "127.0.0.1", target.Port());
  EXPECT_EQ(c.Host(), "127.0.0.1");
  EXPECT_EQ(c.Port(), target.Port());
  EXPECT_EQ(c.NetworkPort(), HostToNet16(target.Port()));
  c.Connect();
  Exchange(c);
  EXPECT_EQ(c.ConnectFailures(), 0);
  EXPECT_EQ(target.Connections(), 1);
  EXPECT_TRUE(logger_.Events().empty());
  EXPECT_FALSE(Settings().proxyReported);
}

// A stop reaches a connect that would otherwise wait minutes for a peer that
// drops every packet; with the check set, ordinary connects behave as before.
TEST_F(TcpClientTest, StopCheckEndsAHangingConnect) {
  testing::LoopbackBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  std::atomic<bool> stop{false};
  CTCPClient c;
  c.SetStopCheck([&] { return stop.load(); });
  ResolveHost(c, "127.0.0.1", hole.Port());
  std::atomic<bool> ended{false};
  std::string error;
  std::thread connecting([&] {
    error = ErrorOf([&] { c.Connect(); });
    ended.store(true);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(ended.load()) << "the black hole let the connect through: " << error;
  stop.store(true);
  // A guard against a hang, far below the system's own connect limit.
  ASSERT_TRUE(testing::WaitUntil([&] { return ended.load(); }, std::chrono::seconds(10)))
      << "the stop did not end the connect";
  connecting.join();
  EXPECT_EQ(error, "Connect failed");
  EXPECT_EQ(c.Socket(), kNoSocket);
  EXPECT_EQ(c.ConnectFailures(), 0);  // no second route tried once stopped

  LoopbackTcpServer target(PingTarget());
  CTCPClient live;
  live.SetStopCheck([] { return false; });
  ResolveHost(live, "127.0.0.1", target.Port());
  live.Connect();
  Exchange(live);  // blocking again after the sliced connect
  CTCPClient refused;
  refused.SetStopCheck([] { return false; });
  ResolveHost(refused, "127.0.0.1", DeadPort());
  EXPECT_EQ(ErrorOf([&] { refused.Connect(); }), "Connect failed");
}

TEST_F(TcpClientTest, TunnelThroughAcceptingProxy) {
  ScriptedProxy proxy(ProxyMode::kAccept);
  SetSettings({1, "proxy.test", proxy.Port(), 0, ""});
  CTCPClient c;
  ResolveHost(c, "cdn.test", 4321);
  c.Connect();
  Exchange(c);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], "CONNECT cdn.test:4321 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(c.proxyType, 1);
  EXPECT_TRUE(logger_.Events().empty());  // it worked at once: nothing stored
}

struct OpenFailureCase {
  const char* note;
  std::function<NetworkSettings(uint16_t proxy_port)> settings;
  ProxyMode proxy_mode;
  bool dead_target;
  const char* error;
};

class OpenSocketFailureTest : public TcpClientTest,
                              public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(OpenSocketFailureTest, RaisesItsTextAndKeepsNoSocket) {
  const OpenFailureCase& c = GetParam();
  ScriptedProxy proxy(c.proxy_mode);
  LoopbackTcpServer target(PingTarget());
  TestClient client;
  ASSERT_TRUE(client.SetTimeouts(500, 500));  // bounds the silent proxy
  ResolveHost(client, "127.0.0.1", c.dead_target ? DeadPort() : target.Port());
  const NetworkSettings s = c.settings(proxy.Port());
  client.proxyType = s.proxyType;
  client.proxyHost = s.proxyHost;
  client.proxyPort = static_cast<uint16_t>(s.proxyPort);
  EXPECT_EQ(ErrorOf([&] { client.OpenSocket(); }), c.error);
  EXPECT_EQ(client.Socket(), kNoSocket);
}

const OpenFailureCase kOpenFailures[] = {
    {"proxy refuses with 407",
     [](uint16_t p) {
       return NetworkSettings{1, "127.0.0.1", p, 0, ""};
     },
     ProxyMode::kRefuse407, false, "Proxy failed"},
    {"proxy says nothing within the receive limit",
     [](uint16_t p) {
       return NetworkSettings{1, "127.0.0.1", p, 0, ""};
     },
     ProxyMode::kSilent, false, "Proxy failed"},
    {"nothing listens at the proxy port",
     [](uint16_t) {
       return NetworkSettings{1, "127.0.0.1", DeadPort(), 0, ""};
     },
     ProxyMode::kAccept, false, "Can't connect proxy server"},
    {"proxy name does not resolve",
     [](uint16_t p) {
       return NetworkSettings{1, "", p, 0, ""};
     },
     ProxyMode::kAccept, false, "Can't connect proxy server"},
    {"unknown proxy type",
     [](uint16_t p) {
       return NetworkSettings{2, "127.0.0.1", p, 0, ""};
     },
     ProxyMode::kAccept, false, "Proxy not support"},
    {"direct target refuses twice", [](uint16_t) { return NetworkSettings{}; }, ProxyMode::kAccept,
     true, "Connect failed"},
};
INSTANTIATE_TEST_SUITE_P(Table, OpenSocketFailureTest, ::testing::ValuesIn(kOpenFailures));

TEST_F(TcpClientTest, FailedProxyFallsBackToDirectAndReportsOnce) {
  // No system proxy natively (and none configured in the test prefix), so
  // discovery after the first failure gives a direct connection.
  ScriptedProxy proxy(ProxyMode::kRefuse407);
  LoopbackTcpServer target(PingTarget());
  SetSettings({1, "127.0.0.1", proxy.Port(), 0, ""});
  CTCPClient first;
  ResolveHost(first, "127.0.0.1", target.Port());
  first.Connect();
  Exchange(first);
  EXPECT_EQ(first.ConnectFailures(), 1);
  EXPECT_EQ(Settings().proxyType, 0);
  EXPECT_EQ(Settings().proxyHost, "");

  // The stored direct choice is where the next client starts: no proxy visit.
  CTCPClient second;
  ResolveHost(second, "127.0.0.1", target.Port());
  second.Connect();
  Exchange(second);
  EXPECT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(second.ConnectFailures(), 0);

  const auto events = logger_.EventsNamed("vNetworkCheck");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].strings.at("network_type"), "网络代理");
  EXPECT_EQ(events[0].ints.at("conn_type"), 0);
  EXPECT_EQ(events[0].strings.at("host_name"), "");
}

TEST_F(TcpClientTest, FailureCountGrowsOncePerFailedConnect) {
  SetSettings({1, "127.0.0.1", DeadPort(), 0, ""});
  CTCPClient c;
  ResolveHost(c, "127.0.0.1", DeadPort());
  for (int attempt = 1; attempt <= 3; ++attempt) {
    SCOPED_TRACE(attempt);
    EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Connect failed");
    EXPECT_EQ(c.ConnectFailures(), attempt);
    EXPECT_EQ(c.proxyType, 0);  // discovery (odd) and the even rule both go direct here
    EXPECT_EQ(c.Socket(), kNoSocket);
  }
  EXPECT_TRUE(logger_.Events().empty());
}

TEST_F(TcpClientTest, StoredProxyChoiceIsUsedByLaterConnections) {
  ScriptedProxy proxy(ProxyMode::kAccept);
  StoreProxyChoice(1, "127.0.0.1", proxy.Port());
  CTCPClient c;
  ResolveHost(c, "cdn.test", 80);
  c.Connect();
  Exchange(c);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], "CONNECT cdn.test:80 HTTP/1.1\r\n\r\n");
}

TEST_F(TcpClientTest, PeerClosingOrStallingEndsReceives) {
  LoopbackTcpServer closes([](SocketHandle c) { (void)SendText(c, "ab"); });
  CTCPClient a;
  ResolveHost(a, "127.0.0.1", closes.Port());
  a.Connect();
  char buffer[4];
  EXPECT_EQ(ErrorOf([&] { a.RecvExact(buffer, 4); }), "Server can't send data");

  LoopbackTcpServer stalls([](SocketHandle c) { (void)ReadCount(c, 1); });
  CTCPClient b;
  // Set before any socket: only stored, applied by the next connection.
  ASSERT_TRUE(b.SetTimeouts(300, 300));
  EXPECT_EQ(b.ReceiveTimeout(), 300);
  EXPECT_EQ(b.Socket(), kNoSocket);
  ResolveHost(b, "127.0.0.1", stalls.Port());
  b.Connect();
  EXPECT_EQ(ErrorOf([&] { b.RecvExact(buffer, 1); }), "socket recv failed");
  b.SendAll("");  // nothing to send is not an error
  b.Close();
  EXPECT_EQ(ErrorOf([&] { b.SendAll("x"); }), "socket send failed");
}

TEST_F(TcpClientTest, SendToVanishedPeerFails) {
  LoopbackTcpServer closes([](SocketHandle) {});
  CTCPClient c;
  // A send limit keeps the test bounded where the reset is slow to show
  // (Wine); a send that runs out of time fails with the same text.
  ASSERT_TRUE(c.SetTimeouts(2000, 2000));
  ResolveHost(c, "127.0.0.1", closes.Port());
  c.Connect();
  // Until the reset arrives the first bytes may still be accepted locally;
  // a large send runs into it.
  const std::string big(8 << 20, 'x');
  std::string error;
  (void)testing::WaitUntil([&] { return !(error = ErrorOf([&] { c.SendAll(big); })).empty(); },
                           std::chrono::seconds(10));
  EXPECT_EQ(error, "socket send failed");
}

// A loopback DNS server: A 127.0.0.1 for every name except "cname.test".
class DnsServer {
 public:
  DnsServer()
      : server_([](SocketHandle s, const std::string& q, uint32_t from, uint16_t port) {
          std::string r = q;
          r[2] = static_cast<char>(0x81);
          r[3] = static_cast<char>(0x80);
          const bool cname = q.find(std::string("\x05"
                                                "cname",
                                                6)) != std::string::npos;
          r[7] = 1;
          r += std::string("\xC0\x0C\x00", 3);
          r += cname ? std::string("\x05\x00\x01\x00\x00\x00\x3C\x00\x02\xC0\x0C", 11)
                     : std::string("\x01\x00\x01\x00\x00\x00\x3C\x00\x04\x7F\x00\x00\x01", 13);
          (void)SockSendTo(s, r.data(), static_cast<int>(r.size()), from, port);
        }) {}
  uint16_t Port() const { return server_.Port(); }
  int Queries() const { return server_.Datagrams(); }

 private:
  LoopbackUdpServer server_;
};

TEST_F(TcpClientTest, ResolveHostModes) {
  DnsServer dns;
  ResolverTestHooks hooks;
  hooks.systemResolve = &LoopbackNames;
  hooks.dnsPort = dns.Port();
  SetResolverTestHooks(hooks);

  CTCPClient system;
  ResolveHost(system, "cdn.test", 8080);
  EXPECT_EQ(system.Host(), "cdn.test");
  EXPECT_EQ(system.Address(), LoopbackAddress());

  CTCPClient own;
  own.dnsMode = 1;
  own.dnsServer = "127.0.0.1";
  ResolveHost(own, "cdn.example", 8080);
  EXPECT_EQ(own.Host(), "127.0.0.1");  // the name is replaced by the address
  EXPECT_EQ(own.Address(), LoopbackAddress());
  EXPECT_EQ(own.NetworkPort(), HostToNet16(8080));

  CTCPClient cname;
  cname.dnsMode = 1;
  cname.dnsServer = "127.0.0.1";
  EXPECT_EQ(ErrorOf([&] { ResolveHost(cname, "cname.example", 80); }), "Can't resolve host name");

  CTCPClient invalid;
  invalid.dnsMode = 2;
  EXPECT_EQ(ErrorOf([&] { ResolveHost(invalid, "127.0.0.1", 80); }), "Can't resolve host name");
  EXPECT_EQ(dns.Queries(), 2);
}

// Fails every name, as a broken system resolver would; dotted addresses work.
std::atomic<int> g_failed_names{0};
bool NoNames(const std::string& host, uint32_t* address) {
  uint32_t dotted;
  if (ParseDottedIpv4(host, &dotted)) {
    *address = dotted;
    return true;
  }
  ++g_failed_names;
  return false;
}

TEST_F(TcpClientTest, FallbackToOwnDnsIsRecordedOnceAndReused) {
  DnsServer dns;
  ResolverTestHooks hooks;
  hooks.systemResolve = &NoNames;
  hooks.dnsPort = dns.Port();
  hooks.dnsWaitMilliseconds = 2000;
  hooks.fallbackResolver = "127.0.0.1";
  SetResolverTestHooks(hooks);
  g_failed_names = 0;

  CTCPClient first;
  ResolveHostWithFallback(first, "cdn.example", 80);
  EXPECT_EQ(first.dnsMode, 1);
  EXPECT_EQ(first.Host(), "127.0.0.1");
  EXPECT_EQ(g_failed_names.load(), 1);
  EXPECT_EQ(Settings().dnsMode, 1);
  EXPECT_EQ(Settings().dnsServer, "127.0.0.1");

  // A newly made client starts in mode 1: the system never sees the name.
  CTCPClient second;
  ResolveHostWithFallback(second, "cdn.example", 80);
  EXPECT_EQ(g_failed_names.load(), 1);
  EXPECT_EQ(dns.Queries(), 2);

  const auto events = logger_.EventsNamed("vNetworkCheck");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].strings.at("network_type"), "DNS解析");
  EXPECT_EQ(events[0].ints.at("conn_type"), 1);
  EXPECT_EQ(events[0].strings.at("host_name"), "127.0.0.1");

  // A name that neither resolver knows fails after the fallback.
  CTCPClient third;
  third.dnsMode = 0;
  SetSettings({});
  EXPECT_EQ(ErrorOf([&] { ResolveHostWithFallback(third, "cname.example", 80); }),
            "Can't resolve host name");
}

}  // namespace
}  // namespace pelmar
