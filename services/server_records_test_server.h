#pragma once

// Test support for the server-record readers: a scripted HTTP server on
// loopback that records every request and answers from a script. Test-only; included by the
// *_test.cpp files here.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/testing/wait_until.h"
#include "loopback_server.h"
#include "net/socket_ops.h"

namespace pelmar::testing {

// Every wait of a test on a reader is bounded by this.
inline constexpr int kRecordsWaitMilliseconds = 60000;

// The readers' tests wait with WaitUntil (base/testing/wait_until.h), whose
// default limit is this one.
static_assert(std::chrono::milliseconds(kRecordsWaitMilliseconds) == kWaitLimit);

inline std::string HttpAnswer(int status, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) +
         " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

class ScriptedHttpServer {
 public:
  // What the script may answer besides a raw response.
  static constexpr const char* kClose = "";         // close without a word
  static constexpr const char* kHang = "\x01hang";  // hold the connection open
  // index: 0 for the first request.
  using Script = std::function<std::string(int index, const std::string& request)>;

  explicit ScriptedHttpServer(Script script) : script_(std::move(script)) {
    server_ = std::make_unique<LoopbackTcpServer>([this](SocketHandle c) { Serve(c); });
  }
  ~ScriptedHttpServer() {
    stopping_ = true;
    server_.reset();
  }

  uint16_t Port() const { return server_->Port(); }
  int Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(requests_.size());
  }
  std::vector<std::string> Received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  // Connections held open by kHang that the client then closed or shut down.
  int PeerClosedWhileHeld() const { return peer_closed_.load(); }
  bool Holding() const { return holding_.load(); }

 private:
  void Serve(SocketHandle c) {
    std::string request = ReadUntil(c, "\r\n\r\n", 64 * 1024);
    const std::string key = "Content-Length: ";
    const size_t at = request.find(key);
    if (at != std::string::npos) {
      const long long length = std::atoll(request.c_str() + at + key.size());
      if (length > 0 && length < (16 << 20)) request += ReadCount(c, static_cast<size_t>(length));
    }
    int index = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      index = static_cast<int>(requests_.size());
      requests_.push_back(request);
    }
    const std::string answer = script_(index, request);
    if (answer == kHang) {
      Hold(c);
      return;
    }
    if (!answer.empty()) (void)SendText(c, answer);
  }

  // Keeps the connection open, answering nothing, until the client goes away
  // or the test ends (bounded).
  void Hold(SocketHandle c) {
    holding_ = true;
    for (int waited = 0; waited < kRecordsWaitMilliseconds && !stopping_; waited += 20) {
      if (SockWaitReadable(c, 20) == 1) {
        char byte;
        if (SockRecv(c, &byte, 1) <= 0) {
          ++peer_closed_;
          break;
        }
      }
    }
    holding_ = false;
  }

  Script script_;
  std::mutex mutex_;
  std::vector<std::string> requests_;  // guarded by mutex_
  std::atomic<bool> stopping_{false};
  std::atomic<bool> holding_{false};
  std::atomic<int> peer_closed_{0};
  std::unique_ptr<LoopbackTcpServer> server_;
};

}  // namespace pelmar::testing
