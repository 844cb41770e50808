#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "net/socket_ops.h"

namespace pelmar::testing {

// Every wait of a test server on a peer is limited to this, so a client that
// misbehaves fails its test instead of hanging it.
inline constexpr int kServerWaitMilliseconds = 5000;
// A server stops after this many connections or datagrams.
inline constexpr int kMaxServedPerServer = 1000;

// A TCP server on 127.0.0.1 (port chosen by the system). Connections are
// served one after another on the server's own thread by `handler`, each
// with kServerWaitMilliseconds receive and send limits, and closed after it
// returns. The destructor stops the thread.
class LoopbackTcpServer {
 public:
  using Handler = std::function<void(SocketHandle connection)>;
  explicit LoopbackTcpServer(Handler handler);
  ~LoopbackTcpServer();
  LoopbackTcpServer(const LoopbackTcpServer&) = delete;
  LoopbackTcpServer& operator=(const LoopbackTcpServer&) = delete;

  uint16_t Port() const { return port_; }
  int Connections() const { return connections_.load(); }
  bool Stopping() const { return stop_.load(); }

 private:
  void Serve();

  Handler handler_;
  CSocket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A UDP server on 127.0.0.1: `handler` gets each datagram with the sender's
// address and port (network order) and answers through the socket itself.
class LoopbackUdpServer {
 public:
  using Handler = std::function<void(SocketHandle socket, const std::string& datagram,
                                     uint32_t from, uint16_t port)>;
  explicit LoopbackUdpServer(Handler handler);
  ~LoopbackUdpServer();
  LoopbackUdpServer(const LoopbackUdpServer&) = delete;
  LoopbackUdpServer& operator=(const LoopbackUdpServer&) = delete;

  uint16_t Port() const { return port_; }
  int Datagrams() const { return datagrams_.load(); }

 private:
  void Serve();

  Handler handler_;
  CSocket socket_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> datagrams_{0};
  std::thread thread_;
};

// A port on 127.0.0.1 where connects hang as they do towards an address that
// drops every packet: it listens but never accepts, and its one-place queue
// is already taken, so the system drops later connection requests until the
// connecting side gives up (minutes). Lives as long as the object.
class LoopbackBlackHole {
 public:
  LoopbackBlackHole();
  LoopbackBlackHole(const LoopbackBlackHole&) = delete;
  LoopbackBlackHole& operator=(const LoopbackBlackHole&) = delete;
  // 0 when the hole could not be made.
  uint16_t Port() const { return port_; }

 private:
  CSocket listener_;
  CSocket filler_;
  uint16_t port_ = 0;
};

// Reads from `s` until `terminator` has arrived, `max_bytes` are read, the
// peer closes or the limit elapses; returns what was read.
std::string ReadUntil(SocketHandle s, const std::string& terminator, size_t max_bytes);
// Reads exactly `count` bytes (fewer when the peer closes or the limit elapses).
std::string ReadCount(SocketHandle s, size_t count);
// Sends all of `data`; false when the peer went away.
bool SendText(SocketHandle s, const std::string& data);

}  // namespace pelmar::testing
