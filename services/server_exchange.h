#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "base/stop_token.h"
#include "base/worker_thread.h"
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

// How one exchange ended. A stop is an ending of its own, never a failure:
// the caller tells "asked to end" from "the network failed" by the value.
enum class ExchangeOutcome { kAnswered, kFailed, kStopped };

struct ExchangeResult {
  ExchangeOutcome outcome = ExchangeOutcome::kFailed;
  std::string body;  // kAnswered: the body read (empty for a GET not answered 200)
  // kFailed: the failure's text ("Connect failed", ...); kStopped: what the
  // network reported as the stop ended it, if anything.
  std::string failure;

  bool Answered() const { return outcome == ExchangeOutcome::kAnswered; }
  bool Stopped() const { return outcome == ExchangeOutcome::kStopped; }
};

// The HTTP exchanges of a server-data worker, made so that the worker's
// owner can end them at any moment without killing the thread: the worker's
// stop token, handed to each exchange, ends a connect in progress within
// CTCPClient::kConnectSliceMs, and Interrupt() shuts down the socket of an
// exchange in progress, so a receive blocked on a silent server returns (see
// StopWorker for where it does not). The exchanges are CTCPHttp's own (its
// request builders and send loop), run on the connection after its socket
// has been registered.
//
// Threads: the worker runs the exchanges; any other thread may call
// Interrupt, StopWorker and RequestStop. `mutex_` guards the registered
// socket; it is never held across a network call.
class CServerExchange {
 public:
  CServerExchange() = default;
  CServerExchange(const CServerExchange&) = delete;
  CServerExchange& operator=(const CServerExchange&) = delete;

  // Each exchange makes a CTCPHttp for `to`, sets both time limits and reads
  // the body under the caller's `max_body_bytes` (a body over it fails with
  // "Read body stream error"). kStopped when `stop` was raised before or
  // during the exchange, whatever the network then did.
  // SendRaw: the caller's request; the body whatever the status.
  ExchangeResult SendRaw(const CStopToken& stop, const ServerEndpoint& to, int time_limit_ms,
                         const std::string& request, size_t max_body_bytes);
  // Get: the body of a 200 answer, else an empty body.
  ExchangeResult Get(const CStopToken& stop, const ServerEndpoint& to, int time_limit_ms,
                     const std::string& host_text, const std::string& path, size_t max_body_bytes);
  // PostForm: the body whatever the status.
  ExchangeResult PostForm(const CStopToken& stop, const ServerEndpoint& to, int time_limit_ms,
                          const std::string& host_text, const std::string& path, HttpForm& form,
                          size_t max_body_bytes);

  // Shuts down the socket of the exchange in progress, if any. Raise the
  // stop token first: an exchange that registers its socket afterwards sees
  // the stop and ends without sending.
  void Interrupt();
  // Asks `worker` to stop and repeats the socket shutdown until its body has
  // returned, in case a shutdown lands just before a blocking receive
  // begins; gives up repeating after `max_rounds` wake rounds. Under Wine a
  // shutdown does not end a receive already waiting (only the peer's close
  // does, which our FIN provokes from a live server); against a server that
  // ignores it the receive limit ends the exchange. True when the body
  // returned within the rounds (the caller then joins the worker).
  [[nodiscard]] bool StopWorker(CWorkerThread& worker, int max_rounds = kMaxWakeRounds);
  // Asks `worker` to stop and shuts down the exchange in progress, without
  // waiting: the token first, then the socket (see Interrupt).
  void AskToStop(CWorkerThread& worker);
  // StopWorker, then waits for the worker without limit (what an owner's
  // destruction does).
  void StopAndJoin(CWorkerThread& worker);
  static constexpr int kWakeIntervalMs = 20;
  static constexpr int kMaxWakeRounds = 3000;  // a minute of repeats

  // For a worker that keeps its stop flag in the exchange (the download's
  // URL query): RequestStop raises the exchange's own token and interrupts;
  // StopAndWake repeats that until `running` turns false; Pause waits on
  // that token. The two exchanges below raise PelmarError on any failure,
  // "user cancel" for a stop.
  void RequestStop();
  bool StopRequested() const { return own_stop_.StopRequested(); }
  bool StopAndWake(const std::function<bool()>& running, int max_rounds = kMaxWakeRounds);
  [[nodiscard]] bool Pause(int milliseconds);
  std::string Get(const ServerEndpoint& to, int time_limit_ms, const std::string& host_text,
                  const std::string& path, size_t max_body_bytes);
  // HttpHead on a client the caller has made (so its resolution errors stay
  // the caller's): connects, registers the socket for a stop and reads the
  // header within `deadline`.
  HttpResponseHeader Head(CTCPHttp& http, const std::string& host_text, const std::string& path,
                          std::chrono::steady_clock::time_point deadline);

 private:
  class Registration;
  // What one exchange does once connected; its body, or throws PelmarError.
  using Talk = std::function<std::string(CTCPHttp& http)>;
  // Connects to `to` under `stop`, registers the socket and runs `talk`,
  // turning every ending into a value.
  ExchangeResult Exchange(const CStopToken& stop, const ServerEndpoint& to, int time_limit_ms,
                          const Talk& talk);
  // Repeats `wake` every kWakeIntervalMs until `running` turns false.
  static bool WakeUntilEnded(const std::function<void()>& wake,
                             const std::function<bool()>& running, int max_rounds);

  CStopToken own_stop_;  // only for the callers that keep their stop here
  std::mutex mutex_;
  SocketHandle active_ = kNoSocket;  // guarded by mutex_
};

}  // namespace pelmar
