#include <winsock2.h>

#include <cstring>

#include "net/socket_ops.h"

namespace pelmar {
namespace {

thread_local SockError t_last_error = SockError::kNone;

SockError FromWsa(int e) {
  switch (e) {
    case WSAEWOULDBLOCK:
    case WSAEINPROGRESS:
    case WSAEALREADY:
      return SockError::kWouldBlock;
    case WSAETIMEDOUT:
      return SockError::kTimedOut;
    case WSAECONNREFUSED:
      return SockError::kRefused;
    case WSAECONNRESET:
    case WSAECONNABORTED:
      return SockError::kReset;
    case WSAEINTR:
      return SockError::kInterrupted;
    default:
      return SockError::kOther;
  }
}

int Fail() {
  t_last_error = FromWsa(WSAGetLastError());
  return -1;
}

SOCKET Sock(SocketHandle s) { return static_cast<SOCKET>(s); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  a.sin_port = port;
  return a;
}

bool SetTimeout(SocketHandle s, int option, int milliseconds) {
  // Winsock takes the limit as a DWORD of milliseconds, 0 meaning none.
  const DWORD ms = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
  if (setsockopt(Sock(s), SOL_SOCKET, option, reinterpret_cast<const char*>(&ms), sizeof ms) != 0)
    return Fail(), false;
  return true;
}

timeval ToTimeval(int milliseconds) {
  timeval tv{};
  tv.tv_sec = milliseconds / 1000;
  tv.tv_usec = (milliseconds % 1000) * 1000;
  return tv;
}

}  // namespace

bool StartSockets() {
  // Winsock counts its start-ups, so one per process is enough and harmless
  // to repeat; the result is kept for every later caller.
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(1, 1), &data) == 0;
  }();
  return started;
}

SocketHandle SockOpenTcp() {
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Fail(), kNoSocket;
  return static_cast<SocketHandle>(s);
}

SocketHandle SockOpenUdp() {
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return Fail(), kNoSocket;
  return static_cast<SocketHandle>(s);
}

void SockClose(SocketHandle s) {
  if (s != kNoSocket) closesocket(Sock(s));
}

SockError SockLastError() { return t_last_error; }

bool SockSetBlocking(SocketHandle s, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  if (ioctlsocket(Sock(s), FIONBIO, &non_blocking) != 0) return Fail(), false;
  return true;
}

bool SockSetRecvTimeout(SocketHandle s, int milliseconds) {
  return SetTimeout(s, SO_RCVTIMEO, milliseconds);
}
bool SockSetSendTimeout(SocketHandle s, int milliseconds) {
  return SetTimeout(s, SO_SNDTIMEO, milliseconds);
}

SockError SockConnect(SocketHandle s, uint32_t address, uint16_t port) {
  const sockaddr_in a = MakeAddress(address, port);
  if (connect(Sock(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
    return SockError::kNone;
  Fail();
  return t_last_error;
}

SockError SockWaitConnected(SocketHandle s, int milliseconds) {
  // Winsock reports a failed non-blocking connect in the exception set, not
  // as a writable socket with a pending error as BSD sockets do.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Sock(s), &writable);
  FD_SET(Sock(s), &failed);
  timeval tv = ToTimeval(milliseconds);
  const int r = select(0, nullptr, &writable, &failed, &tv);
  if (r == SOCKET_ERROR) return Fail(), t_last_error;
  if (r == 0) return t_last_error = SockError::kWouldBlock;
  int error = 0;
  int len = sizeof error;
  if (getsockopt(Sock(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len) != 0)
    return Fail(), t_last_error;
  if (error != 0) return t_last_error = FromWsa(error);
  if (FD_ISSET(Sock(s), &failed)) return t_last_error = SockError::kRefused;
  return SockError::kNone;
}

int SockWaitReadable(SocketHandle s, int milliseconds) {
  fd_set readable, failed;
  FD_ZERO(&readable);
  FD_ZERO(&failed);
  FD_SET(Sock(s), &readable);
  FD_SET(Sock(s), &failed);
  timeval tv = ToTimeval(milliseconds);
  const int r = select(0, &readable, nullptr, &failed, &tv);
  if (r == SOCKET_ERROR) return Fail();
  return r > 0 ? 1 : 0;
}

int SockSend(SocketHandle s, const char* data, int length) {
  const int r = send(Sock(s), data, length, 0);
  if (r == SOCKET_ERROR) return Fail();
  return r;
}

int SockRecv(SocketHandle s, char* buffer, int length) {
  const int r = recv(Sock(s), buffer, length, 0);
  if (r == SOCKET_ERROR) return Fail();
  return r;
}

int SockSendTo(SocketHandle s, const char* data, int length, uint32_t address, uint16_t port) {
  const sockaddr_in a = MakeAddress(address, port);
  const int r = sendto(Sock(s), data, length, 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  if (r == SOCKET_ERROR) return Fail();
  return r;
}

int SockRecvFrom(SocketHandle s, char* buffer, int length, uint32_t* address, uint16_t* port) {
  sockaddr_in a{};
  int len = sizeof a;
  const int r = recvfrom(Sock(s), buffer, length, 0, reinterpret_cast<sockaddr*>(&a), &len);
  if (r == SOCKET_ERROR) return Fail();
  *address = a.sin_addr.s_addr;
  *port = a.sin_port;
  return r;
}

bool SockBind(SocketHandle s, uint32_t address, uint16_t port) {
  const sockaddr_in a = MakeAddress(address, port);
  if (bind(Sock(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return Fail(), false;
  return true;
}

bool SockListen(SocketHandle s, int backlog) {
  if (listen(Sock(s), backlog) != 0) return Fail(), false;
  return true;
}

SocketHandle SockAccept(SocketHandle s) {
  const SOCKET c = accept(Sock(s), nullptr, nullptr);
  if (c == INVALID_SOCKET) return Fail(), kNoSocket;
  return static_cast<SocketHandle>(c);
}

uint16_t SockLocalPort(SocketHandle s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (getsockname(Sock(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return Fail(), 0;
  return ntohs(a.sin_port);
}

void SockShutdown(SocketHandle s) { shutdown(Sock(s), SD_BOTH); }

bool SystemResolve(const std::string& host, uint32_t* address) {
  // Winsock keeps gethostbyname's result in storage of the calling thread;
  // the address is copied out before this thread makes another socket call.
  const hostent* h = gethostbyname(host.c_str());
  if (h == nullptr || h->h_addrtype != AF_INET || h->h_length != 4 || h->h_addr_list == nullptr ||
      h->h_addr_list[0] == nullptr) {
    return false;
  }
  u_long a;
  memcpy(&a, h->h_addr_list[0], sizeof a);
  *address = a;
  return true;
}

}  // namespace pelmar
