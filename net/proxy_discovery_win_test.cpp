// Proxy discovery from the current user's proxy settings in the registry,
// then a tunnel through a loopback proxy found that way.

#include <windows.h>

#include <gtest/gtest.h>

#include <mutex>

#include "base/pelmar_error.h"
#include "loopback_server.h"
#include "net/net_test_support.h"
#include "net/proxy_discovery.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::ReadUntil;
using testing::SendText;

constexpr wchar_t kConnectionsKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
constexpr wchar_t kSettingsValue[] = L"DefaultConnectionSettings";

// Flags of the per-user connection settings record.
constexpr DWORD kFlagDirect = 1;
constexpr DWORD kFlagProxy = 2;
constexpr DWORD kFlagScript = 4;

void AppendDword(std::string* blob, DWORD v) {
  blob->append(reinterpret_cast<const char*>(&v), sizeof v);
}
void AppendText(std::string* blob, const std::string& text) {
  AppendDword(blob, static_cast<DWORD>(text.size()));
  *blob += text;
}

// The record the system's proxy dialog writes: version, counter, flags, then
// proxy list, bypass list and script address, each with its length.
std::string SettingsRecord(DWORD flags, const std::string& proxy, const std::string& script) {
  std::string blob;
  AppendDword(&blob, 0x46);
  AppendDword(&blob, 1);
  AppendDword(&blob, flags);
  AppendText(&blob, proxy);
  AppendText(&blob, "<local>");
  AppendText(&blob, script);
  blob.append(32, '\0');
  return blob;
}

// Writes the user's connection settings for one test and puts back what was
// there before (or removes the value) when it goes.
class ScopedProxySettings {
 public:
  explicit ScopedProxySettings(const std::string& record) {
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kConnectionsKey, 0, nullptr, 0,
                              KEY_READ | KEY_WRITE, nullptr, &key_, nullptr),
              ERROR_SUCCESS);
    DWORD size = 0;
    if (RegQueryValueExW(key_, kSettingsValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
      old_.resize(size);
      had_old_ = RegQueryValueExW(key_, kSettingsValue, nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(old_.data()), &size) == ERROR_SUCCESS;
    }
    EXPECT_EQ(RegSetValueExW(key_, kSettingsValue, 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(record.data()),
                             static_cast<DWORD>(record.size())),
              ERROR_SUCCESS);
  }
  ~ScopedProxySettings() {
    if (had_old_) {
      RegSetValueExW(key_, kSettingsValue, 0, REG_BINARY,
                     reinterpret_cast<const BYTE*>(old_.data()), static_cast<DWORD>(old_.size()));
    } else {
      RegDeleteValueW(key_, kSettingsValue);
    }
    RegCloseKey(key_);
  }
  ScopedProxySettings(const ScopedProxySettings&) = delete;
  ScopedProxySettings& operator=(const ScopedProxySettings&) = delete;

 private:
  HKEY key_ = nullptr;
  std::string old_;
  bool had_old_ = false;
};

// A CONNECT proxy that accepts, then answers "ping\n" with "pong" itself.
class TunnelProxy {
 public:
  TunnelProxy()
      : server_([this](SocketHandle c) {
          const std::string request = ReadUntil(c, "\r\n\r\n", 2048);
          {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
          }
          (void)SendText(c, "HTTP/1.0 200 Connection established\r\n\r\n");
          if (ReadUntil(c, "\n", 64) == "ping\n") (void)SendText(c, "pong");
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

uint16_t DeadPort() {
  CSocket s(SockOpenTcp());
  EXPECT_TRUE(SockBind(s.Get(), LoopbackAddress(), 0));
  return SockLocalPort(s.Get());
}

bool LoopbackNames(const std::string& host, uint32_t* address) {
  if (host == "cdn.test") {
    *address = LoopbackAddress();
    return true;
  }
  return ParseDottedIpv4(host, address);
}

class ProxyDiscoveryWinTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ResolverTestHooks hooks;
    hooks.systemResolve = &LoopbackNames;
    SetResolverTestHooks(hooks);
  }
};

TEST_F(ProxyDiscoveryWinTest, ManualListFromUserSettings) {
  const std::string list = "ftp=127.0.0.1:21;http=127.0.0.1:3128";
  ScopedProxySettings settings(SettingsRecord(kFlagDirect | kFlagProxy, list, ""));
  EXPECT_EQ(SystemProxyListForUrl("http://cdn.test"), list);
  CTCPClient c;
  c.DiscoverProxy("http://cdn.test");
  EXPECT_EQ(c.proxyType, 1);
  EXPECT_EQ(c.proxyHost, "127.0.0.1");
  EXPECT_EQ(c.proxyPort, 3128);
}

TEST_F(ProxyDiscoveryWinTest, NoProxyConfiguredMeansDirect) {
  ScopedProxySettings settings(SettingsRecord(kFlagDirect, "", ""));
  EXPECT_EQ(SystemProxyListForUrl("http://cdn.test"), "");
  CTCPClient c;
  c.proxyType = 1;
  c.DiscoverProxy("http://cdn.test");
  EXPECT_EQ(c.proxyType, 0);
}

TEST_F(ProxyDiscoveryWinTest, FailedDirectConnectDiscoversProxyAndTunnels) {
  TunnelProxy proxy;
  ScopedProxySettings settings(SettingsRecord(
      kFlagDirect | kFlagProxy, "http=127.0.0.1:" + std::to_string(proxy.Port()), ""));
  const uint16_t dead = DeadPort();
  CTCPClient c;
  ResolveHost(c, "cdn.test", dead);  // direct route refused
  c.Connect();
  c.SendAll("ping\n");
  char reply[4];
  c.RecvExact(reply, 4);
  EXPECT_EQ(std::string(reply, 4), "pong");
  EXPECT_EQ(c.ConnectFailures(), 1);
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0], "CONNECT cdn.test:" + std::to_string(dead) + " HTTP/1.1\r\n\r\n");

  const NetworkSettings s = Settings();
  EXPECT_EQ(s.proxyType, 1);
  EXPECT_EQ(s.proxyHost, "127.0.0.1");
  EXPECT_EQ(s.proxyPort, proxy.Port());
  const auto events = logger_.EventsNamed("vNetworkCheck");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].strings.at("network_type"), "网络代理");
  EXPECT_EQ(events[0].ints.at("conn_type"), 1);
  EXPECT_EQ(events[0].strings.at("host_name"), "127.0.0.1");
}

TEST_F(ProxyDiscoveryWinTest, AlternatesBetweenDiscoveryAndDirect) {
  // The proxy is configured but the stored choice points at a dead proxy and
  // the target refuses: odd failures discover the (working) proxy, even ones
  // go direct and fail.
  TunnelProxy proxy;
  ScopedProxySettings settings(
      SettingsRecord(kFlagDirect | kFlagProxy, "127.0.0.1:" + std::to_string(proxy.Port()), ""));
  SetSettings({1, "127.0.0.1", DeadPort(), 0, ""});
  CTCPClient c;
  ResolveHost(c, "cdn.test", DeadPort());
  c.Connect();  // failure 1: discovery, tunnel works
  EXPECT_EQ(c.proxyType, 1);
  EXPECT_EQ(proxy.Requests().size(), 1u);
  SetSettings({1, "127.0.0.1", DeadPort(), 0, ""});
  EXPECT_THROW(c.Connect(), PelmarError);  // failure 2: direct, refused
  EXPECT_EQ(c.proxyType, 0);
  c.Connect();  // failure 3: discovery again
  EXPECT_EQ(c.proxyType, 1);
  EXPECT_EQ(c.ConnectFailures(), 3);
  EXPECT_EQ(proxy.Requests().size(), 2u);
}

TEST_F(ProxyDiscoveryWinTest, ScriptNamesTheProxy) {
  TunnelProxy proxy;
  const std::string script = "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" +
                             std::to_string(proxy.Port()) + "\"; }\n";
  LoopbackTcpServer script_server([&](SocketHandle c) {
    (void)ReadUntil(c, "\r\n\r\n", 4096);
    (void)SendText(
        c,
        "HTTP/1.1 200 OK\r\nContent-Type: application/x-ns-proxy-autoconfig\r\nContent-Length: " +
            std::to_string(script.size()) + "\r\nConnection: close\r\n\r\n" + script);
  });
  ScopedProxySettings settings(
      SettingsRecord(kFlagDirect | kFlagScript, "",
                     "http://127.0.0.1:" + std::to_string(script_server.Port()) + "/proxy.pac"));
  CTCPClient c;
  c.DiscoverProxy("http://cdn.test/");
  EXPECT_GE(script_server.Connections(), 1);
  EXPECT_EQ(c.proxyType, 1);
  EXPECT_EQ(c.proxyHost, "127.0.0.1");
  EXPECT_EQ(c.proxyPort, proxy.Port());
}

}  // namespace
}  // namespace pelmar
