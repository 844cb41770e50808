#include "net/tcp_client.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "base/app_context.h"
#include "base/pelmar_error.h"
#include "net/dns_client.h"
#include "net/network_check_report.h"
#include "net/proxy_discovery.h"
#include "net/proxy_reply.h"

namespace pelmar {
namespace {

// A non-blocking connect to the proxy gets this long before the proxy counts
// as unreachable and the other route is tried.
constexpr int kProxyConnectMilliseconds = 1000;
// One send or receive call moves at most this much, so counts fit an int.
constexpr size_t kMaxIoPiece = 1 << 30;
// A signal may interrupt a blocking call; it is retried this many times.
constexpr int kMaxInterruptRetries = 100;

std::mutex g_hooks_mutex;
ResolverTestHooks g_hooks;

ResolverTestHooks Hooks() {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  return g_hooks;
}

bool AskSystem(const ResolverTestHooks& hooks, const std::string& host, uint32_t* address) {
  return hooks.systemResolve != nullptr ? hooks.systemResolve(host, address)
                                        : SystemResolve(host, address);
}

}  // namespace

void SetResolverTestHooks(const ResolverTestHooks& hooks) {
  std::lock_guard<std::mutex> lock(g_hooks_mutex);
  g_hooks = hooks;
}

void ResetResolverTestHooks() { SetResolverTestHooks(ResolverTestHooks{}); }

void ResolveHost(CTCPClient& client, const std::string& host, uint16_t port) {
  client.host_ = host;
  client.port_ = port;
  const ResolverTestHooks hooks = Hooks();
  uint32_t address = 0;
  bool found = false;
  if (client.dnsMode == 0) {
    found = AskSystem(hooks, host, &address);
  } else if (client.dnsMode == 1) {
    DnsAddresses answers;
    if (QueryDnsServerOn(client.dnsServer, host, hooks.dnsPort, hooks.dnsWaitMilliseconds,
                         &answers) == 0) {
      const std::string dotted = FormatIpv4(answers.addresses[0]);
      found = AskSystem(hooks, dotted, &address);
      client.host_ = dotted;
    }
  } else {
    throw PelmarError("Can't resolve host name");
  }
  if (!found) throw PelmarError("Can't resolve host name");
  client.address_ = address;
  client.port_net_ = HostToNet16(port);
}

void ResolveHostWithFallback(CTCPClient& client, const std::string& host, uint16_t port) {
  if (AppContext* ctx = GetAppContext()) {
    std::lock_guard<CXMutex> lock(ctx->mutex);
    client.dnsMode = ctx->network.dnsMode;
    client.dnsServer = ctx->network.dnsServer;
  }
  try {
    ResolveHost(client, host, port);
    return;
  } catch (const PelmarError&) {
  }
  client.dnsMode = 1;
  client.dnsServer = Hooks().fallbackResolver;
  ResolveHost(client, host, port);
  StoreResolverChoice(client.dnsMode, client.dnsServer);
}

bool CTCPClient::SetTimeouts(int receive_ms, int send_ms) {
  if (receive_ms != receive_timeout_) {
    receive_timeout_ = receive_ms;
    if (socket_.IsValid()) (void)SockSetRecvTimeout(socket_.Get(), receive_ms);
  }
  if (send_ms != send_timeout_) {
    send_timeout_ = send_ms;
    if (socket_.IsValid()) (void)SockSetSendTimeout(socket_.Get(), send_ms);
  }
  return true;
}

void CTCPClient::Connect() {
  if (AppContext* ctx = GetAppContext()) {
    std::lock_guard<CXMutex> lock(ctx->mutex);
    proxyType = ctx->network.proxyType;
    proxyHost = ctx->network.proxyHost;
    proxyPort = static_cast<uint16_t>(ctx->network.proxyPort);
  }
  try {
    OpenSocket();
    return;
  } catch (const PelmarError&) {
    if (StopRequested()) throw;  // a stopped owner wants no second route
  }
  // Alternate between asking the system for a proxy and going direct, so a
  // client that keeps failing tries both routes in turn.
  ++connect_failures_;
  if (connect_failures_ % 2 == 0) {
    proxyType = 0;
    proxyHost.clear();
    proxyPort = 0;
  } else {
    DiscoverProxy("http://" + host_);
  }
  OpenSocket();
  StoreProxyChoice(proxyType, proxyHost, proxyPort);
}

void CTCPClient::OpenSocket() {
  socket_.Reset(SockOpenTcp());
  if (!socket_.IsValid()) throw PelmarError("Can't create socket");
  // On any failure below the socket is closed before the error leaves, so a
  // failed attempt holds no socket.
  try {
    if (proxyType != 0 && proxyType != 1) throw PelmarError("Proxy not support");
    if (proxyType == 1) {
      if (!SockSetBlocking(socket_.Get(), false)) throw PelmarError("Can't set not block");
      // The own DNS client is for targets only; a proxy name goes to the system.
      uint32_t proxy_address = 0;
      if (!AskSystem(Hooks(), proxyHost, &proxy_address))
        throw PelmarError("Can't connect proxy server");
      SockError e = SockConnect(socket_.Get(), proxy_address, HostToNet16(proxyPort));
      if (e == SockError::kWouldBlock)
        e = SockWaitConnected(socket_.Get(), kProxyConnectMilliseconds);
      if (e != SockError::kNone) throw PelmarError("Can't connect proxy server");
      if (!SockSetBlocking(socket_.Get(), true)) throw PelmarError("Can't set block");
    } else {
      if (!ConnectDirect() && (StopRequested() || !ConnectDirect())) {
        throw PelmarError("Connect failed");
      }
    }
    if (receive_timeout_ != -1) (void)SockSetRecvTimeout(socket_.Get(), receive_timeout_);
    if (send_timeout_ != -1) (void)SockSetSendTimeout(socket_.Get(), send_timeout_);
    if (proxyType == 1 && !ProxyHandshake()) throw PelmarError("Proxy failed");
  } catch (...) {
    socket_.Reset();
    throw;
  }
}

bool CTCPClient::ConnectDirect() {
  const SocketHandle s = socket_.Get();
  if (!stopped_ || !SockSetBlocking(s, false)) {
    return SockConnect(s, address_, port_net_) == SockError::kNone;
  }
  // Waits in slices so a stop ends the wait; the system's own connect limit
  // still ends a wait nobody stops.
  SockError e = SockConnect(s, address_, port_net_);
  while (e == SockError::kWouldBlock && !stopped_()) e = SockWaitConnected(s, kConnectSliceMs);
  return SockSetBlocking(s, true) && e == SockError::kNone;
}

bool CTCPClient::ProxyHandshake() {
  char request[1024];
  const int length = std::snprintf(request, sizeof request, "CONNECT %s:%u HTTP/1.1\r\n\r\n",
                                   host_.c_str(), unsigned{port_});
  // A host too long for the line would be cut; such a request is not sent.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof request) return false;
  (void)SockSend(socket_.Get(), request, length);
  char reply[kMaxProxyReplyBytes];
  const int got = SockRecv(socket_.Get(), reply, static_cast<int>(sizeof reply));
  if (got <= 0) return false;
  return ProxyReplyAccepted(std::string_view(reply, static_cast<size_t>(got)));
}

void CTCPClient::DiscoverProxy(const std::string& url) {
  const ProxyChoice choice = ParseProxyList(SystemProxyListForUrl(url));
  proxyType = choice.type;
  proxyHost = choice.host;
  proxyPort = choice.port;
}

void CTCPClient::SendAll(std::string_view data) {
  size_t sent = 0;
  int interrupts = 0;
  while (sent < data.size()) {
    // An owner that stopped wants nothing more sent.
    if (StopRequested()) throw PelmarError("User cancel thread");
    const size_t piece = std::min(data.size() - sent, kMaxIoPiece);
    const int r = SockSend(socket_.Get(), data.data() + sent, static_cast<int>(piece));
    if (r == 0) throw PelmarError("Server can't recv data");
    if (r < 0) {
      if (SockLastError() == SockError::kInterrupted && ++interrupts < kMaxInterruptRetries)
        continue;
      throw PelmarError("socket send failed");
    }
    sent += static_cast<size_t>(r);
  }
}

void CTCPClient::RecvExact(char* buffer, size_t count) {
  size_t got = 0;
  int interrupts = 0;
  while (got < count) {
    const size_t piece = std::min(count - got, kMaxIoPiece);
    const int r = SockRecv(socket_.Get(), buffer + got, static_cast<int>(piece));
    if (r == 0) throw PelmarError("Server can't send data");
    if (r < 0) {
      if (SockLastError() == SockError::kInterrupted && ++interrupts < kMaxInterruptRetries)
        continue;
      throw PelmarError("socket recv failed");
    }
    got += static_cast<size_t>(r);
  }
}

}  // namespace pelmar
