#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/socket_ops.h"

namespace pelmar {

// One blocking IPv4 TCP connection to one host and port, direct or tunnelled
// through an HTTP proxy with CONNECT, with per-socket time limits. Used by one
// thread at a time; the shared network settings are read and written under
// the AppContext lock, never held across a network call.
class CTCPClient {
 public:
  CTCPClient() = default;
  virtual ~CTCPClient() = default;
  CTCPClient(const CTCPClient&) = delete;
  CTCPClient& operator=(const CTCPClient&) = delete;

  // Milliseconds; -1 means no limit. Changes apply at once to an open socket
  // and to every later one.
  bool SetTimeouts(int receive_ms, int send_ms);
  // Makes a connected socket to the resolved target (directly or through the
  // proxy), alternating between proxy discovery and a direct connection on
  // failure. Raises PelmarError with the failure's text.
  void Connect();
  // Raises "User cancel thread" once the stop check (below) says so.
  void SendAll(std::string_view data);
  void RecvExact(char* buffer, size_t count);
  // Fills the proxy fields from the operating system's choice for `url`.
  void DiscoverProxy(const std::string& url);
  // Sends CONNECT host:port and reads the proxy's answer; true for status 200.
  [[nodiscard]] bool ProxyHandshake();
  // Lets another thread end a direct connect in progress, which no socket
  // shutdown reaches: while connecting, the client asks `stopped` every
  // kConnectSliceMs and gives up ("Connect failed") once it says true.
  // Without it a connect waits as long as the system does.
  void SetStopCheck(std::function<bool()> stopped) { stopped_ = std::move(stopped); }
  static constexpr int kConnectSliceMs = 50;
  // Closes the socket if one is open.
  void Close() { socket_.Reset(); }

  const std::string& Host() const { return host_; }
  uint32_t Address() const { return address_; }  // network order
  uint16_t Port() const { return port_; }
  uint16_t NetworkPort() const { return port_net_; }
  int ReceiveTimeout() const { return receive_timeout_; }
  int SendTimeout() const { return send_timeout_; }
  int ConnectFailures() const { return connect_failures_; }
  SocketHandle Socket() const { return socket_.Get(); }

  // Set through ResolveHost and Connect; public so the owners of a client
  // (HTTP client, download thread) and tests can see and set them.
  int proxyType = 0;
  std::string proxyHost;
  uint16_t proxyPort = 0;
  int dnsMode = 0;
  std::string dnsServer;

 protected:
  void OpenSocket();

 private:
  friend void ResolveHost(CTCPClient& client, const std::string& host, uint16_t port);

  bool StopRequested() const { return stopped_ && stopped_(); }
  // One direct connect of the open socket; false on failure or stop.
  [[nodiscard]] bool ConnectDirect();

  std::string host_;
  uint32_t address_ = 0xFFFFFFFF;
  uint16_t port_ = 0;
  uint16_t port_net_ = 0;
  int receive_timeout_ = -1;
  int send_timeout_ = -1;
  int connect_failures_ = 0;
  std::function<bool()> stopped_;
  CSocket socket_;
};

// Resolves `host` into the client according to its dnsMode/dnsServer and
// stores host and port. With the own DNS client the stored host becomes the
// dotted address. Raises PelmarError("Can't resolve host name").
void ResolveHost(CTCPClient& client, const std::string& host, uint16_t port);

// What the HTTP client and the download thread do when they are made: copy
// the resolver choice from the shared settings, resolve, and on failure switch
// to the own DNS client with the fallback resolver, resolve again and record
// that choice. An error of the second attempt propagates.
void ResolveHostWithFallback(CTCPClient& client, const std::string& host, uint16_t port);

// Process-wide knobs so tests can keep all traffic on loopback: where the own
// DNS client sends its query, which server the fallback uses, and the system
// resolver to ask. Not for product code.
struct ResolverTestHooks {
  uint16_t dnsPort = 53;
  int dnsWaitMilliseconds = 3000;
  std::string fallbackResolver = "114.114.114.114";
  bool (*systemResolve)(const std::string& host,
                        uint32_t* address) = nullptr;  // null: the real one
};
void SetResolverTestHooks(const ResolverTestHooks& hooks);
void ResetResolverTestHooks();

}  // namespace pelmar
