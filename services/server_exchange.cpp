#include "services/server_exchange.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <thread>

#include "base/pelmar_error.h"
#include "net/tcp_http.h"

namespace pelmar {

namespace {
constexpr const char* kStopText = "user cancel";
}  // namespace

// Publishes the connected socket of one exchange for Interrupt() and takes
// it back before the socket is closed, so a stop never touches a handle the
// system may already have given to someone else.
class CServerExchange::Registration {
 public:
  // Registers nothing when `stop` was raised while connecting: that stop
  // found no socket to shut down, so the exchange must end here.
  Registration(CServerExchange& owner, CTCPHttp& http, const CStopToken& stop) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    if (stop.StopRequested()) return;
    owner_.active_ = http.Socket();
    held_ = true;
  }
  ~Registration() {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    owner_.active_ = kNoSocket;
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

  bool Held() const { return held_; }

 private:
  CServerExchange& owner_;
  bool held_ = false;
};

void CServerExchange::Interrupt() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_ != kNoSocket) SockShutdown(active_);
}

bool CServerExchange::WakeUntilEnded(const std::function<void()>& wake,
                                     const std::function<bool()>& running, int max_rounds) {
  for (int round = 0; round < max_rounds; ++round) {
    wake();
    if (!running()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kWakeIntervalMs));
  }
  wake();
  return !running();
}

void CServerExchange::AskToStop(CWorkerThread& worker) {
  worker.RequestStop();
  Interrupt();
}

bool CServerExchange::StopWorker(CWorkerThread& worker, int max_rounds) {
  if (!worker.HasThread()) return true;
  return WakeUntilEnded([&] { AskToStop(worker); }, [&] { return worker.Running(); }, max_rounds);
}

void CServerExchange::StopAndJoin(CWorkerThread& worker) {
  (void)StopWorker(worker);
  worker.Join();
}

ExchangeResult CServerExchange::Exchange(const CStopToken& stop, const ServerEndpoint& to,
                                         int time_limit_ms, const Talk& talk) {
  ExchangeResult result;
  if (stop.StopRequested()) {
    result.outcome = ExchangeOutcome::kStopped;
    return result;
  }
  try {
    CTCPHttp http(to.host, to.port);
    (void)http.SetTimeouts(time_limit_ms, time_limit_ms);
    // A stop reaches a connect in progress only through this check.
    http.SetStopCheck([&stop] { return stop.StopRequested(); });
    http.Connect();
    Registration registered(*this, http, stop);
    if (registered.Held()) {
      result.body = talk(http);
      result.outcome = ExchangeOutcome::kAnswered;
      return result;
    }
  } catch (const std::exception& e) {
    // The client reports its failures as exceptions; here they become the
    // exchange's value. A connect ended or a socket shut by the stop shows
    // as a network failure: it is the stop.
    result.failure = e.what();
  }
  result.outcome = stop.StopRequested() ? ExchangeOutcome::kStopped : ExchangeOutcome::kFailed;
  return result;
}

ExchangeResult CServerExchange::SendRaw(const CStopToken& stop, const ServerEndpoint& to,
                                        int time_limit_ms, const std::string& request,
                                        size_t max_body_bytes) {
  return Exchange(stop, to, time_limit_ms,
                  [&](CTCPHttp& http) { return http.SendRawConnected(request, max_body_bytes); });
}

ExchangeResult CServerExchange::Get(const CStopToken& stop, const ServerEndpoint& to,
                                    int time_limit_ms, const std::string& host_text,
                                    const std::string& path, size_t max_body_bytes) {
  return Exchange(stop, to, time_limit_ms, [&](CTCPHttp& http) {
    return http.GetConnected(host_text, path, max_body_bytes);
  });
}

ExchangeResult CServerExchange::PostForm(const CStopToken& stop, const ServerEndpoint& to,
                                         int time_limit_ms, const std::string& host_text,
                                         const std::string& path, HttpForm& form,
                                         size_t max_body_bytes) {
  return Exchange(stop, to, time_limit_ms, [&](CTCPHttp& http) {
    return http.PostFormConnected(host_text, path, form, max_body_bytes);
  });
}

void CServerExchange::RequestStop() {
  own_stop_.RequestStop();
  Interrupt();
}

bool CServerExchange::StopAndWake(const std::function<bool()>& running, int max_rounds) {
  return WakeUntilEnded([this] { RequestStop(); }, running, max_rounds);
}

bool CServerExchange::Pause(int milliseconds) {
  return own_stop_.WaitFor(static_cast<uint32_t>(std::max(milliseconds, 0)));
}

std::string CServerExchange::Get(const ServerEndpoint& to, int time_limit_ms,
                                 const std::string& host_text, const std::string& path,
                                 size_t max_body_bytes) {
  const ExchangeResult result = Get(own_stop_, to, time_limit_ms, host_text, path, max_body_bytes);
  if (result.Answered()) return result.body;
  // The texts these callers always saw: the network's, else the stop's.
  throw PelmarError(result.failure.empty() ? kStopText : result.failure);
}

HttpResponseHeader CServerExchange::Head(CTCPHttp& http, const std::string& host_text,
                                         const std::string& path,
                                         std::chrono::steady_clock::time_point deadline) {
  http.SetStopCheck([this] { return own_stop_.StopRequested(); });
  http.Connect();
  Registration registered(*this, http, own_stop_);
  if (!registered.Held()) throw PelmarError(kStopText);
  http.SendAll(CTCPHttp::BuildHeadRequest(host_text, path));
  return http.ReadResponseHeader(deadline);
}

}  // namespace pelmar
