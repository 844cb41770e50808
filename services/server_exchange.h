#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/stop_token.h"
#include "net/http_form.h"
#include "net/http_response_header.h"
#include "net/socket_ops.h"

namespace pelmar {

class CTCPHttp;

// Host and port of one maker server.
struct ServerEndpoint {
  std::string host;
  uint16_t port = 80;
};

// The stop signal of a server-data worker and the HTTP exchanges it makes,
// so that an owner can end the worker at any moment without killing it:
// RequestStop() raises the flag, wakes a retry pause at once, ends a connect
// in progress within CTCPClient::kConnectSliceMs and shuts down the socket of
// an exchange in progress, so a receive blocked on a silent server returns
// (see StopAndWake for where it does not). The exchanges are those of
// CTCPHttp (same request texts, same answers), run step by step so the
// connected socket can be registered.
//
// Threads: the worker runs the exchanges and pauses; any other thread may
// call RequestStop(). `mutex_` guards the registered socket; it is never held
// across a network call.
class CServerExchange {
 public:
  CServerExchange() = default;
  CServerExchange(const CServerExchange&) = delete;
  CServerExchange& operator=(const CServerExchange&) = delete;

  void RequestStop();
  bool StopRequested() const { return stop_.StopRequested(); }
  // Raises the stop and repeats the socket shutdown until `running` turns
  // false, in case a shutdown lands just before a blocking receive begins.
  // Gives up repeating after kMaxWakeRounds; the caller then waits for the
  // thread, which its time limits end. Under Wine a shutdown does not end a
  // receive already waiting (only the peer's close does, which our FIN
  // provokes from a live server); against a server that ignores it the
  // receive limit ends the exchange.
  // Returns whether `running` turned false within `max_rounds` wake rounds.
  bool StopAndWake(const std::function<bool()>& running, int max_rounds = kMaxWakeRounds);
  static constexpr int kWakeIntervalMs = 20;
  static constexpr int kMaxWakeRounds = 3000;  // a minute of repeats
  // Pauses for `milliseconds` unless a stop is (or becomes) requested;
  // false when stopped.
  [[nodiscard]] bool Pause(int milliseconds);

  // Each exchange makes a CTCPHttp for `to`, sets both time limits, reads
  // the body under the caller's `max_body_bytes` and raises PelmarError on
  // any failure ("user cancel" when stopped, "Read body stream error" for a
  // body over the cap).
  // HttpSendRaw: the caller's request; the body whatever the status.
  std::string SendRaw(const ServerEndpoint& to, int time_limit_ms, const std::string& request,
                      size_t max_body_bytes);
  // HttpGet: the body of a 200 answer, else empty.
  std::string Get(const ServerEndpoint& to, int time_limit_ms, const std::string& host_text,
                  const std::string& path, size_t max_body_bytes);
  // HttpHead on a client the caller has made (so its resolution errors stay
  // the caller's): connects, registers the socket for a stop and reads the
  // header within `deadline`.
  HttpResponseHeader Head(CTCPHttp& http, const std::string& host_text, const std::string& path,
                          std::chrono::steady_clock::time_point deadline);
  // HttpPostForm: the body whatever the status.
  std::string PostForm(const ServerEndpoint& to, int time_limit_ms, const std::string& host_text,
                       const std::string& path, HttpForm& form, size_t max_body_bytes);

 private:
  class Registration;
  // Sets the exchange's time limits and lets a stop end its connect.
  CTCPHttp& Prepared(CTCPHttp& http, int time_limit_ms);

  CStopToken stop_;  // raised once; wakes a pause
  std::mutex mutex_;
  SocketHandle active_ = kNoSocket;  // guarded by mutex_
};

}  // namespace pelmar
