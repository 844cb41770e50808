#include "services/pkg_record_source.h"

#include <exception>
#include <utility>

#include "base/pelmar_error.h"

namespace pelmar {

std::string PkgRecordSource::TryExchange(CServerExchange* exchange, const ServerEndpoint& to,
                                         const std::string& request) {
  try {
    return exchange->SendRaw(to, settings_.timeLimitMs, request, kMaxPkgRecordBytes);
  } catch (const std::exception&) {
    // A failed exchange is an empty answer: the next attempt follows.
    return {};
  }
}

std::string PkgRecordSource::FetchAnswer(CServerExchange* exchange, const std::string& request) {
  std::string body;
  // Unbounded on purpose: the reader keeps asking while the network gives no
  // answer; every pass is bounded by the time limits and ends on a stop.
  for (uint64_t attempt = 0; !exchange->StopRequested(); ++attempt) {
    if (!body.empty()) return body;
    if (attempt > 0 && !exchange->Pause(settings_.retryPauseMs)) break;
    body = TryExchange(exchange, settings_.supportHost, request);
    if (exchange->StopRequested()) break;
    if (body.empty()) body = TryExchange(exchange, settings_.supportIp, request);
  }
  throw PelmarError("user cancel");
}

bool PkgRecordSource::Read(CServerExchange* exchange, PkgRecord* record) {
  const std::string version = settings_.version ? settings_.version() : std::string();
  const std::string request =
      settings_.buildRequest ? settings_.buildRequest(kPkgIndexPath, BuildPkgRequestBody(version))
                             : std::string();
  if (request.empty()) throw PelmarError("build send data error");

  const std::string answer = FetchAnswer(exchange, request);
  std::string data;
  std::string failure = OpenPkgEnvelope(answer, &data);
  if (!failure.empty()) throw PelmarError(failure);
  const std::string payload = settings_.openPayload ? settings_.openPayload(data) : std::string();
  failure = ParsePkgPayload(payload, record);
  if (!failure.empty()) throw PelmarError(failure);
  return true;
}

}  // namespace pelmar
