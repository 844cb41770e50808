#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar {

// The thin layer between the network classes and the platform's sockets
// (Winsock 1.1 on Windows, BSD sockets natively). Addresses and ports passed
// here are in network byte order unless a name says otherwise. Platform error
// codes become SockError values inside the platform bodies.

using SocketHandle = intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

enum class SockError {
  kNone = 0,
  kWouldBlock,  // a non-blocking operation would have to wait (connect in progress too)
  kTimedOut,    // a receive or send time limit elapsed
  kRefused,
  kReset,
  kInterrupted,
  kOther,
};

// Starts the socket library once per process (Winsock version 1.1); a no-op
// natively. Start-up calls it; tests call it too. Returns false on failure.
[[nodiscard]] bool StartSockets();

[[nodiscard]] SocketHandle SockOpenTcp();
[[nodiscard]] SocketHandle SockOpenUdp();
void SockClose(SocketHandle s);
// The error of the last failed call on this thread.
SockError SockLastError();

[[nodiscard]] bool SockSetBlocking(SocketHandle s, bool blocking);
[[nodiscard]] bool SockSetRecvTimeout(SocketHandle s, int milliseconds);
[[nodiscard]] bool SockSetSendTimeout(SocketHandle s, int milliseconds);

// kNone when connected; kWouldBlock when a non-blocking connect is under way.
[[nodiscard]] SockError SockConnect(SocketHandle s, uint32_t address, uint16_t port);
// Waits up to `milliseconds` for a non-blocking connect to finish: kNone when
// connected, kWouldBlock while it is still under way, or the connect's own
// error (kTimedOut when the system gave up on the peer).
[[nodiscard]] SockError SockWaitConnected(SocketHandle s, int milliseconds);
// 1 when readable (or in error), 0 on time out, -1 when the wait itself failed.
[[nodiscard]] int SockWaitReadable(SocketHandle s, int milliseconds);

// Results like send/recv: bytes moved, 0 (recv: peer closed), -1 on error.
[[nodiscard]] int SockSend(SocketHandle s, const char* data, int length);
[[nodiscard]] int SockRecv(SocketHandle s, char* buffer, int length);
[[nodiscard]] int SockSendTo(SocketHandle s, const char* data, int length, uint32_t address,
                             uint16_t port);
[[nodiscard]] int SockRecvFrom(SocketHandle s, char* buffer, int length, uint32_t* address,
                               uint16_t* port);

// Servers (tests and benchmarks): bind to address:port (port 0 picks one).
[[nodiscard]] bool SockBind(SocketHandle s, uint32_t address, uint16_t port);
[[nodiscard]] bool SockListen(SocketHandle s, int backlog);
[[nodiscard]] SocketHandle SockAccept(SocketHandle s);
// The bound port in host order, 0 on failure.
uint16_t SockLocalPort(SocketHandle s);
// Ends both directions so a blocked accept/recv in another thread returns.
void SockShutdown(SocketHandle s);

// The operating system's resolver (thread-safe: the result is copied before
// another thread can overwrite it). A dotted address resolves to itself.
[[nodiscard]] bool SystemResolve(const std::string& host, uint32_t* address);

// Byte order helpers, so the logic needs no platform header.
uint16_t HostToNet16(uint16_t v);
uint32_t HostToNet32(uint32_t v);
inline uint16_t NetToHost16(uint16_t v) { return HostToNet16(v); }
inline uint32_t NetToHost32(uint32_t v) { return HostToNet32(v); }

// Strict dotted IPv4: exactly four parts, digits only, each 0..255, none empty.
[[nodiscard]] bool ParseDottedIpv4(std::string_view text, uint32_t* address);
// Dotted decimal without leading zeros.
std::string FormatIpv4(uint32_t address);
inline uint32_t LoopbackAddress() { return HostToNet32(0x7F000001); }  // 127.0.0.1

// Owns a socket handle; closes it when it goes.
class CSocket {
 public:
  CSocket() = default;
  explicit CSocket(SocketHandle s) : s_(s) {}
  ~CSocket() { Reset(); }
  CSocket(CSocket&& o) noexcept : s_(o.Release()) {}
  CSocket& operator=(CSocket&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  CSocket(const CSocket&) = delete;
  CSocket& operator=(const CSocket&) = delete;

  SocketHandle Get() const { return s_; }
  bool IsValid() const { return s_ != kNoSocket; }
  SocketHandle Release() {
    const SocketHandle s = s_;
    s_ = kNoSocket;
    return s;
  }
  void Reset(SocketHandle s = kNoSocket) {
    if (s_ != kNoSocket) SockClose(s_);
    s_ = s;
  }

 private:
  SocketHandle s_ = kNoSocket;
};

}  // namespace pelmar
