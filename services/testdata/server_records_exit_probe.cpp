// Test helper: a process whose package and channel readers are blocked on a
// server that accepts and never answers. Like the product's quit sequence it
// stops both readers before main returns (StopReader), unless started with
// "static-only": then only the records' static destructors, run during the
// process exit, stop and join them. The readers keep the product's time
// limits: the stop wakes them at once where a socket shutdown ends a waiting
// receive (natively), else the receive limit ends it (Wine). Exit code 0 once
// they ended; 3 when the readers never connected.
#include <string>

#include "net/socket_ops.h"
#include "services/pkg_info.h"
#include "services/server_info.h"

using namespace pelmar;

namespace {

constexpr int kAcceptWaitMs = 20000;

}  // namespace

int main(int argc, char** argv) {
  const bool static_only = argc > 1 && std::string(argv[1]) == "static-only";
  if (!StartSockets()) return 2;
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
