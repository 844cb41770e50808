#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "net/socket_ops.h"

namespace pelmar {
namespace {

// The error of the last failed call, per thread, already in our terms.
thread_local SockError t_last_error = SockError::kNone;

SockError FromErrno(int e) {
  switch (e) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return SockError::kWouldBlock;
    case ETIMEDOUT:
      return SockError::kTimedOut;
    case ECONNREFUSED:
      return SockError::kRefused;
    case ECONNRESET:
    case EPIPE:
      return SockError::kReset;
    case EINTR:
      return SockError::kInterrupted;
    default:
      return SockError::kOther;
  }
}

int Fail() {
  t_last_error = FromErrno(errno);
  return -1;
}

int Fd(SocketHandle s) { return static_cast<int>(s); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = address;
  a.sin_port = port;
  return a;
}

bool SetTimeout(SocketHandle s, int option, int milliseconds) {
  timeval tv{};
  if (milliseconds > 0) {
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = (milliseconds % 1000) * 1000;
  }
  if (setsockopt(Fd(s), SOL_SOCKET, option, &tv, sizeof tv) != 0) return Fail(), false;
  return true;
}

// Waits for `events`; 1 ready, 0 timed out, -1 failed. Restarts after signals
// with the time that remains.
int WaitFor(SocketHandle s, short events, int milliseconds) {
  pollfd p{Fd(s), events, 0};
  int r;
  do {
    r = poll(&p, 1, milliseconds);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return Fail();
  return r > 0 ? 1 : 0;
}

}  // namespace

bool StartSockets() { return true; }

SocketHandle SockOpenTcp() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return Fail(), kNoSocket;
  return fd;
}

SocketHandle SockOpenUdp() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return Fail(), kNoSocket;
  return fd;
}

void SockClose(SocketHandle s) {
  if (s != kNoSocket) close(Fd(s));
}

SockError SockLastError() { return t_last_error; }

bool SockSetBlocking(SocketHandle s, bool blocking) {
  const int flags = fcntl(Fd(s), F_GETFL, 0);
  if (flags < 0) return Fail(), false;
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (fcntl(Fd(s), F_SETFL, wanted) != 0) return Fail(), false;
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
  if (connect(Fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) return SockError::kNone;
  Fail();
  return t_last_error;
}

SockError SockWaitConnected(SocketHandle s, int milliseconds) {
  const int r = WaitFor(s, POLLOUT, milliseconds);
  if (r < 0) return t_last_error;
  if (r == 0) return t_last_error = SockError::kWouldBlock;
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &error, &len) != 0) return Fail(), t_last_error;
  if (error != 0) return t_last_error = FromErrno(error);
  return SockError::kNone;
}

int SockWaitReadable(SocketHandle s, int milliseconds) { return WaitFor(s, POLLIN, milliseconds); }

int SockSend(SocketHandle s, const char* data, int length) {
  const ssize_t r = send(Fd(s), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  if (r < 0) return Fail();
  return static_cast<int>(r);
}

int SockRecv(SocketHandle s, char* buffer, int length) {
  const ssize_t r = recv(Fd(s), buffer, static_cast<size_t>(length), 0);
  if (r < 0) return Fail();
  return static_cast<int>(r);
}

int SockSendTo(SocketHandle s, const char* data, int length, uint32_t address, uint16_t port) {
  const sockaddr_in a = MakeAddress(address, port);
  const ssize_t r = sendto(Fd(s), data, static_cast<size_t>(length), MSG_NOSIGNAL,
                           reinterpret_cast<const sockaddr*>(&a), sizeof a);
  if (r < 0) return Fail();
  return static_cast<int>(r);
}

int SockRecvFrom(SocketHandle s, char* buffer, int length, uint32_t* address, uint16_t* port) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const ssize_t r = recvfrom(Fd(s), buffer, static_cast<size_t>(length), 0,
                             reinterpret_cast<sockaddr*>(&a), &len);
  if (r < 0) return Fail();
  *address = a.sin_addr.s_addr;
  *port = a.sin_port;
  return static_cast<int>(r);
}

bool SockBind(SocketHandle s, uint32_t address, uint16_t port) {
  const int one = 1;
  setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const sockaddr_in a = MakeAddress(address, port);
  if (bind(Fd(s), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) return Fail(), false;
  return true;
}

bool SockListen(SocketHandle s, int backlog) {
  if (listen(Fd(s), backlog) != 0) return Fail(), false;
  return true;
}

SocketHandle SockAccept(SocketHandle s) {
  int fd;
  do {
    fd = accept4(Fd(s), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Fail(), kNoSocket;
  return fd;
}

uint16_t SockLocalPort(SocketHandle s) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(Fd(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return Fail(), 0;
  return ntohs(a.sin_port);
}

void SockShutdown(SocketHandle s) { shutdown(Fd(s), SHUT_RDWR); }

bool SystemResolve(const std::string& host, uint32_t* address) {
  // getaddrinfo returns a list owned by the caller, so concurrent threads
  // never share a result buffer.
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return false;
  bool found = false;
  for (addrinfo* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family == AF_INET && p->ai_addrlen >= sizeof(sockaddr_in)) {
      *address = reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr;
      found = true;
      break;
    }
  }
  freeaddrinfo(list);
  return found;
}

}  // namespace pelmar
