#include "services/read_server_info_thread.h"

#include <exception>
#include <utility>

#include "base/pelmar_error.h"
#include "net/url_component.h"
#include "services/server_info.h"

namespace pelmar {

CReadServerInfoThread::CReadServerInfoThread(CServerInfo* owner, ServerInfoSettings settings)
    : owner_(owner), settings_(std::move(settings)) {
  Release();
}

CReadServerInfoThread::~CReadServerInfoThread() { StopAndJoin(); }

void CReadServerInfoThread::StopAndJoin() {
  exchange_.StopAndWake([this] { return IsRunning(); });
  Join();
}

bool CReadServerInfoThread::StopWithin(int milliseconds) {
  const int rounds = milliseconds / CServerExchange::kWakeIntervalMs;
  if (!exchange_.StopAndWake([this] { return IsRunning(); }, rounds)) return false;
  Join();
  return true;
}

uint32_t CReadServerInfoThread::Run() {
  try {
    const std::string channel = settings_.channel ? settings_.channel() : std::string();
    if (channel.empty()) {
      owner_->Finish();
      return 0;
    }
    // The channel comes from the installer's file name: encoded, a "#" or a
    // space in it can neither cut the query short nor split the request line.
    const std::string path = std::string(kChannelPath) + EncodeUrlComponent(channel);
    std::string body;
    for (int attempt = 0; attempt < kChannelAttempts; ++attempt) {
      if (attempt > 0 && !exchange_.Pause(settings_.retryPauseMs)) throw PelmarError("user cancel");
      try {
        body = exchange_.Get(settings_.gateway, settings_.timeLimitMs, settings_.hostText, path,
                             kMaxChannelRecordBytes);
      } catch (const std::exception&) {
        body.clear();  // a failed exchange counts as an empty answer
      }
      if (!body.empty()) break;
      if (exchange_.StopRequested()) throw PelmarError("user cancel");
    }
    ChannelRecord record;
    const std::string failure = ParseChannelRecord(body, &record);
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
