// Driver of the HTTP GET benchmark.
//   http_get_bench serve <size> <port-file>
//       serves every GET on 127.0.0.1 with 200, Content-Length <size> and a
//       fixed byte pattern; writes its port to <port-file>; ends after
//       kMaxConnections connections or when killed.
//   http_get_bench get <port> <path> <size>
//       one CTCPHttp::HttpGet from 127.0.0.1:<port>; checks the length and
//       the pattern and prints the seconds the exchange took.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "base/pelmar_error.h"
#include "net/socket_ops.h"
#include "net/tcp_http.h"

namespace {

using pelmar::CSocket;

constexpr int kMaxConnections = 1000;
constexpr size_t kSendPiece = 1 << 20;
constexpr size_t kMaxRequestBytes = 16384;

char PatternByte(size_t i) { return static_cast<char>((i * 131 + (i >> 12)) & 0xFF); }

int Serve(size_t size, const char* port_file) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = PatternByte(i);
  const std::string header =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
      "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
  CSocket listener(pelmar::SockOpenTcp());
  if (!listener.IsValid() || !pelmar::SockBind(listener.Get(), pelmar::LoopbackAddress(), 0) ||
      !pelmar::SockListen(listener.Get(), 16)) {
    std::fprintf(stderr, "cannot listen\n");
    return 1;
  }
  std::ofstream(port_file) << pelmar::SockLocalPort(listener.Get()) << "\n";
  for (int n = 0; n < kMaxConnections; ++n) {
    CSocket c(pelmar::SockAccept(listener.Get()));
    if (!c.IsValid()) continue;
    std::string request;
    char ch;
    while (request.size() < kMaxRequestBytes && pelmar::SockRecv(c.Get(), &ch, 1) == 1) {
      request.push_back(ch);
      if (request.size() >= 4 && request.compare(request.size() - 4, 4, "\r\n\r\n") == 0) break;
    }
    std::string out = header;
    bool ok = pelmar::SockSend(c.Get(), out.data(), static_cast<int>(out.size())) ==
              static_cast<int>(out.size());
    for (size_t pos = 0; ok && pos < body.size();) {
      const int r = pelmar::SockSend(c.Get(), body.data() + pos,
                                     static_cast<int>(std::min(kSendPiece, size - pos)));
      ok = r > 0;
      if (ok) pos += static_cast<size_t>(r);
    }
  }
  return 0;
}

int Get(uint16_t port, const std::string& path, size_t size) {
  const auto start = std::chrono::steady_clock::now();
  std::string body;
  try {
    pelmar::CTCPHttp http("127.0.0.1", port);
    body = http.HttpGet("127.0.0.1", path);
  } catch (const pelmar::PelmarError& e) {
    std::fprintf(stderr, "get failed: %s\n", e.what());
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (body.size() != size) {
    std::fprintf(stderr, "got %zu bytes, expected %zu\n", body.size(), size);
    return 1;
  }
  for (size_t i = 0; i < size; i += 4093) {
    if (body[i] != PatternByte(i)) {
      std::fprintf(stderr, "wrong byte at %zu\n", i);
      return 1;
    }
  }
  std::printf("bytes=%zu seconds=%.4f MBps=%.1f\n", body.size(), seconds,
              body.size() / seconds / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!pelmar::StartSockets()) return 1;
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "serve" && argc == 4) return Serve(std::strtoull(argv[2], nullptr, 10), argv[3]);
  if (mode == "get" && argc == 5) {
    return Get(static_cast<uint16_t>(std::strtoul(argv[2], nullptr, 10)), argv[3],
               std::strtoull(argv[4], nullptr, 10));
  }
  std::fprintf(stderr,
               "usage: http_get_bench serve <size> <port-file> | get <port> <path> <size>\n");
  return 2;
}
