#include "services/read_server_info_thread.h"

#include <exception>
#include <utility>

#include "base/pelmar_error.h"

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

uint32_t CReadServerInfoThread::Run() {
  try {
    const std::string channel = settings_.channel ? settings_.channel() : std::string();
    if (channel.empty()) {
      owner_->Finish();
      return 0;
    }
    const std::string path = std::string(kChannelPath) + channel;
    std::string body;
    for (int attempt = 0; attempt < kChannelAttempts; ++attempt) {
      if (attempt > 0 && !exchange_.Pause(settings_.retryPauseMs)) throw PelmarError("user cancel");
      try {
        body = exchange_.Get(settings_.gateway, settings_.timeLimitMs, settings_.hostText, path);
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
