#include "services/read_pkg_info_thread.h"

#include <exception>
#include <utility>

#include "base/pelmar_error.h"

namespace pelmar {

CReadPkgInfoThread::CReadPkgInfoThread(CPkgInfo* owner, PkgInfoSettings settings)
    : owner_(owner), settings_(std::move(settings)) {
  Release();
}

CReadPkgInfoThread::~CReadPkgInfoThread() { StopAndJoin(); }

void CReadPkgInfoThread::StopAndJoin() {
  exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

std::string CReadPkgInfoThread::TryExchange(const ServerEndpoint& to, const std::string& request) {
  try {
    return exchange_.SendRaw(to, settings_.timeLimitMs, request);
  } catch (const std::exception&) {
    // A failed exchange is an empty answer: the next attempt follows.
    return {};
  }
}

std::string CReadPkgInfoThread::FetchAnswer(const std::string& request) {
  std::string body;
  // Unbounded on purpose: the reader keeps asking while the network gives no
  // answer; every pass is bounded by the time limits and ends on a stop.
  for (uint64_t attempt = 0; !exchange_.StopRequested(); ++attempt) {
    if (!body.empty()) return body;
    if (attempt > 0 && !exchange_.Pause(settings_.retryPauseMs)) break;
    body = TryExchange(settings_.supportHost, request);
    if (exchange_.StopRequested()) break;
    if (body.empty()) body = TryExchange(settings_.supportIp, request);
  }
  throw PelmarError("user cancel");
}

uint32_t CReadPkgInfoThread::Run() {
  try {
    const std::string version = settings_.version ? settings_.version() : std::string();
    const std::string request =
        settings_.buildRequest ? settings_.buildRequest(kPkgIndexPath, BuildPkgRequestBody(version))
                               : std::string();
    if (request.empty()) throw PelmarError("build send data error");

    const std::string answer = FetchAnswer(request);
    std::string data;
    std::string failure = OpenPkgEnvelope(answer, &data);
    if (!failure.empty()) throw PelmarError(failure);
    const std::string payload = settings_.openPayload ? settings_.openPayload(data) : std::string();
    PkgRecord record;
    failure = ParsePkgPayload(payload, &record);
    if (!failure.empty()) throw PelmarError(failure);
    owner_->Store(record);
    return 0;
  } catch (const std::exception& e) {
    owner_->Fail(e.what());
  } catch (...) {
    owner_->Fail("unknown error");
  }
  return 1;
}

}  // namespace pelmar
