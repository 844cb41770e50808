#include "loopback_server.h"

#include <algorithm>
#include <stdexcept>

namespace pelmar::testing {
namespace {
// How often a server thread looks at its stop flag while idle.
constexpr int kPollMilliseconds = 50;
constexpr size_t kDatagramBytes = 65536;
}  // namespace

LoopbackTcpServer::LoopbackTcpServer(Handler handler) : handler_(std::move(handler)) {
  if (!StartSockets()) throw std::runtime_error("sockets unavailable");
  listener_.Reset(SockOpenTcp());
  if (!listener_.IsValid() || !SockBind(listener_.Get(), LoopbackAddress(), 0) ||
      !SockListen(listener_.Get(), 16)) {
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = SockLocalPort(listener_.Get());
  thread_ = std::thread([this] { Serve(); });
}

LoopbackTcpServer::~LoopbackTcpServer() {
  stop_ = true;
  thread_.join();
}

void LoopbackTcpServer::Serve() {
  while (!stop_ && connections_ < kMaxServedPerServer) {
    if (SockWaitReadable(listener_.Get(), kPollMilliseconds) != 1) continue;
    CSocket connection(SockAccept(listener_.Get()));
    if (!connection.IsValid()) continue;
    ++connections_;
    (void)SockSetRecvTimeout(connection.Get(), kServerWaitMilliseconds);
    (void)SockSetSendTimeout(connection.Get(), kServerWaitMilliseconds);
    handler_(connection.Get());
  }
}

LoopbackUdpServer::LoopbackUdpServer(Handler handler) : handler_(std::move(handler)) {
  if (!StartSockets()) throw std::runtime_error("sockets unavailable");
  socket_.Reset(SockOpenUdp());
  if (!socket_.IsValid() || !SockBind(socket_.Get(), LoopbackAddress(), 0)) {
    throw std::runtime_error("cannot bind on loopback");
  }
  port_ = SockLocalPort(socket_.Get());
  thread_ = std::thread([this] { Serve(); });
}

LoopbackUdpServer::~LoopbackUdpServer() {
  stop_ = true;
  thread_.join();
}

void LoopbackUdpServer::Serve() {
  std::string buffer(kDatagramBytes, '\0');
  while (!stop_ && datagrams_ < kMaxServedPerServer) {
    if (SockWaitReadable(socket_.Get(), kPollMilliseconds) != 1) continue;
    uint32_t from = 0;
    uint16_t port = 0;
    const int got =
        SockRecvFrom(socket_.Get(), buffer.data(), static_cast<int>(buffer.size()), &from, &port);
    if (got < 0) continue;
    ++datagrams_;
    handler_(socket_.Get(), buffer.substr(0, static_cast<size_t>(got)), from, port);
  }
}

LoopbackBlackHole::LoopbackBlackHole() : listener_(SockOpenTcp()), filler_(SockOpenTcp()) {
  if (!listener_.IsValid() || !filler_.IsValid() ||
      !SockBind(listener_.Get(), LoopbackAddress(), 0) || !SockListen(listener_.Get(), 0)) {
    return;
  }
  const uint16_t port = SockLocalPort(listener_.Get());
  if (SockConnect(filler_.Get(), LoopbackAddress(), HostToNet16(port)) != SockError::kNone) return;
  port_ = port;
}

std::string ReadUntil(SocketHandle s, const std::string& terminator, size_t max_bytes) {
  std::string text;
  while (text.size() < max_bytes) {
    char c;
    if (SockRecv(s, &c, 1) != 1) break;
    text.push_back(c);
    if (text.size() >= terminator.size() &&
        text.compare(text.size() - terminator.size(), terminator.size(), terminator) == 0) {
      break;
    }
  }
  return text;
}

std::string ReadCount(SocketHandle s, size_t count) {
  std::string text(count, '\0');
  size_t got = 0;
  while (got < count) {
    const int r =
        SockRecv(s, text.data() + got, static_cast<int>(std::min<size_t>(count - got, 1 << 20)));
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  text.resize(got);
  return text;
}

bool SendText(SocketHandle s, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    const int r = SockSend(s, data.data() + sent,
                           static_cast<int>(std::min<size_t>(data.size() - sent, 1 << 20)));
    if (r <= 0) return false;
    sent += static_cast<size_t>(r);
  }
  return true;
}

}  // namespace pelmar::testing
