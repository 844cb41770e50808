#include "services/server_exchange.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "base/pelmar_error.h"
#include "net/tcp_http.h"

namespace pelmar {

// Publishes the connected socket of one exchange for RequestStop() and takes
// it back before the socket is closed, so a stop never touches a handle the
// system may already have given to someone else.
class CServerExchange::Registration {
 public:
  Registration(CServerExchange& owner, CTCPHttp& http) : owner_(owner) {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    // A stop that came while connecting found nothing to shut down.
    if (owner_.stop_.StopRequested()) throw PelmarError("user cancel");
    owner_.active_ = http.Socket();
  }
  ~Registration() {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    owner_.active_ = kNoSocket;
  }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;

 private:
  CServerExchange& owner_;
};

void CServerExchange::RequestStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stop_.RequestStop();
  if (active_ != kNoSocket) SockShutdown(active_);
}

bool CServerExchange::StopAndWake(const std::function<bool()>& running, int max_rounds) {
  for (int round = 0; round < max_rounds; ++round) {
    RequestStop();
    if (!running()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(kWakeIntervalMs));
  }
  RequestStop();
  return !running();
}

bool CServerExchange::Pause(int milliseconds) {
  return stop_.WaitFor(static_cast<uint32_t>(std::max(milliseconds, 0)));
}

CTCPHttp& CServerExchange::Prepared(CTCPHttp& http, int time_limit_ms) {
  (void)http.SetTimeouts(time_limit_ms, time_limit_ms);
  // A stop reaches a connect in progress only through this check.
  http.SetStopCheck([this] { return stop_.StopRequested(); });
  return http;
}

std::string CServerExchange::SendRaw(const ServerEndpoint& to, int time_limit_ms,
                                     const std::string& request, size_t max_body_bytes) {
  CTCPHttp http(to.host, to.port);
  Prepared(http, time_limit_ms).Connect();
  Registration registered(*this, http);
  http.SendAll(request);
  return http.ReadBody(http.ReadResponseHeader(), max_body_bytes);
}

std::string CServerExchange::Get(const ServerEndpoint& to, int time_limit_ms,
                                 const std::string& host_text, const std::string& path,
                                 size_t max_body_bytes) {
  CTCPHttp http(to.host, to.port);
  Prepared(http, time_limit_ms).Connect();
  Registration registered(*this, http);
  http.SendAll(CTCPHttp::BuildGetRequest(host_text, path));
  const HttpResponseHeader header = http.ReadResponseHeader();
  if (header.status != "200") return {};
  return http.ReadBody(header, max_body_bytes);
}

HttpResponseHeader CServerExchange::Head(CTCPHttp& http, const std::string& host_text,
                                         const std::string& path,
                                         std::chrono::steady_clock::time_point deadline) {
  http.SetStopCheck([this] { return stop_.StopRequested(); });
  http.Connect();
  Registration registered(*this, http);
  http.SendAll(CTCPHttp::BuildHeadRequest(host_text, path));
  return http.ReadResponseHeader(deadline);
}

std::string CServerExchange::PostForm(const ServerEndpoint& to, int time_limit_ms,
                                      const std::string& host_text, const std::string& path,
                                      HttpForm& form, size_t max_body_bytes) {
  (void)form.Prepare();
  const std::string request = CTCPHttp::BuildPostRequest(host_text, path, form.TotalLength());
  CTCPHttp http(to.host, to.port);
  Prepared(http, time_limit_ms).Connect();
  Registration registered(*this, http);
  http.SendAll(request);
  std::string piece;
  // One piece per field: bounded by the form.
  while (form.NextPiece(&piece)) {
    if (!piece.empty()) http.SendAll(piece);
  }
  return http.ReadBody(http.ReadResponseHeader(), max_body_bytes);
}

}  // namespace pelmar
