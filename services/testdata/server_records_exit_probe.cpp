// Test helper: a process whose package and channel readers are blocked on a
// server that accepts and never answers. Like the product's quit sequence it
// stops both readers before main returns (StopReader), unless started with
// "static-only": then only the records' static destructors, run during the
// process exit, stop and join them. The readers keep the product's time
// limits: the stop wakes them at once where a socket shutdown ends a waiting
// receive (natively), else the receive limit ends it (Wine). Exit code 0 once
// they ended; 3 when the readers never connected.
//
// "black-hole": the listener's queue is full, so the readers' connects wait
// for an answer that never comes (the system gives up after minutes). Like
// the product's quit, the readers get a bounded stop, which reaches a
// connect in progress. Exit code 0 when both ended within the deadline; 4
// when one had to be left to the process exit.
#include <chrono>
#include <string>
#include <thread>

#include "net/socket_ops.h"
#include "services/pkg_info.h"
#include "services/server_info.h"

using namespace pelmar;

namespace {

constexpr int kAcceptWaitMs = 20000;
// "black-hole": how long the readers get to start their connects, and the one
// deadline both must end within once stopped.
constexpr int kIntoConnectMs = 500;
constexpr int kStopLimitMs = 10000;

}  // namespace

// Kept reachable until the process ends: an abandoned record is never freed.
CPkgInfo* g_package = nullptr;
CServerInfo* g_channel = nullptr;

int BlackHole() {
  // A queue of one, filled by a connection nobody accepts: every later SYN
  // is dropped and the connect waits.
  const SocketHandle listener = SockOpenTcp();
  if (listener == kNoSocket || !SockBind(listener, LoopbackAddress(), 0) ||
      !SockListen(listener, 0)) {
    return 2;
  }
  const uint16_t port = SockLocalPort(listener);
  if (SockConnect(SockOpenTcp(), LoopbackAddress(), HostToNet16(port)) != SockError::kNone)
    return 2;

  PkgInfoSettings pkg;
  pkg.supportHost = {"127.0.0.1", port};
  pkg.supportIp = {"127.0.0.1", port};
  pkg.buildRequest = [](const std::string& path, const std::string&) {
    return "GET " + path + " HTTP/1.1\r\nConnection: close\r\n\r\n";
  };
  pkg.openPayload = [](const std::string&) { return std::string(); };
  g_package = new CPkgInfo(pkg);
  ServerInfoSettings channel;
  channel.gateway = {"127.0.0.1", port};
  channel.hostText = "127.0.0.1";
  channel.channel = [] { return std::string("huawei00"); };
  g_channel = new CServerInfo(channel);
  // Time for both readers to get inside their connects. Nothing outside
  // them shows when they are; stopping one earlier only makes the case
  // easier, never fails it.
  std::this_thread::sleep_for(std::chrono::milliseconds(kIntoConnectMs));

  // Both stops first, so the readers wind down side by side; then one
  // deadline for both. A stopped connect ends in milliseconds, a connect the
  // stop missed only after minutes: a generous deadline tells them apart on
  // a loaded machine too, where a woken thread may wait long for a core.
  (void)g_package->StopReaderWithin(0);
  (void)g_channel->StopReaderWithin(0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopLimitMs);
  const auto left = [&] {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
    return ms > 0 ? static_cast<int>(ms) : 0;
  };
  const bool package_ended = g_package->StopReaderWithin(left());
  const bool channel_ended = g_channel->StopReaderWithin(left());
  if (package_ended) delete g_package;
  if (channel_ended) delete g_channel;
  return package_ended && channel_ended ? 0 : 4;
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  const bool static_only = mode == "static-only";
  if (!StartSockets()) return 2;
  if (mode == "black-hole") return BlackHole();
  // Left open until the process ends, as are the accepted connections, so
  // the server stays silent through the exit.
  const SocketHandle listener = SockOpenTcp();
  if (listener == kNoSocket || !SockBind(listener, LoopbackAddress(), 0) ||
      !SockListen(listener, 4)) {
    return 2;
  }
  const uint16_t port = SockLocalPort(listener);

  PkgInfoSettings pkg;
  pkg.supportHost = {"127.0.0.1", port};
  pkg.supportIp = {"127.0.0.1", port};
  pkg.buildRequest = [](const std::string& path, const std::string&) {
    return "GET " + path + " HTTP/1.1\r\nConnection: close\r\n\r\n";
  };
  pkg.openPayload = [](const std::string&) { return std::string(); };
  static CPkgInfo package_record(pkg);

  ServerInfoSettings channel;
  channel.gateway = {"127.0.0.1", port};
  channel.hostText = "127.0.0.1";
  channel.channel = [] { return std::string("huawei00"); };
  static CServerInfo channel_record(channel);

  for (int accepted = 0; accepted < 2; ++accepted) {
    if (SockWaitReadable(listener, kAcceptWaitMs) != 1) return 3;
    if (SockAccept(listener) == kNoSocket) return 3;
  }
  if (!static_only) {
    channel_record.StopReader();
    package_record.StopReader();
  }
  return 0;
}
