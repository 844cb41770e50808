#include "services/pkg_record_source.h"

#include <algorithm>
#include <utility>

namespace pelmar {

std::string PkgRecordSource::TryExchange(CServerExchange& exchange, const CStopToken& stop,
                                         const ServerEndpoint& to, const std::string& request) {
  // A failed exchange is an empty answer: the next attempt follows.
  return exchange.SendRaw(stop, to, settings_.timeLimitMs, request, kMaxPkgRecordBytes).body;
}

std::string PkgRecordSource::FetchAnswer(CServerExchange& exchange, CStopToken& stop,
                                         const std::string& request) {
  std::string body;
  // Unbounded on purpose: the reader keeps asking while the network gives no
  // answer; every pass is bounded by the time limits and ends on a stop.
  for (uint64_t attempt = 0; !stop.StopRequested(); ++attempt) {
    if (!body.empty()) return body;
    if (attempt > 0 && !stop.WaitFor(static_cast<uint32_t>(std::max(settings_.retryPauseMs, 0))))
      break;
    body = TryExchange(exchange, stop, settings_.supportHost, request);
    if (stop.StopRequested()) break;
    if (body.empty()) body = TryExchange(exchange, stop, settings_.supportIp, request);
  }
  return {};
}

RecordRead PkgRecordSource::Read(CServerExchange& exchange, CStopToken& stop, PkgRecord* record) {
  const std::string version = settings_.version ? settings_.version() : std::string();
  const std::string request =
      settings_.buildRequest ? settings_.buildRequest(kPkgIndexPath, BuildPkgRequestBody(version))
                             : std::string();
  if (request.empty()) return RecordRead::Failed("build send data error");

  const std::string answer = FetchAnswer(exchange, stop, request);
  if (answer.empty()) return RecordRead::Stopped();
  std::string data;
  std::string failure = OpenPkgEnvelope(answer, &data);
  if (!failure.empty()) return RecordRead::Failed(failure);
  const std::string payload = settings_.openPayload ? settings_.openPayload(data) : std::string();
  failure = ParsePkgPayload(payload, record);
  if (!failure.empty()) return RecordRead::Failed(failure);
  return RecordRead::Record();
}

}  // namespace pelmar
