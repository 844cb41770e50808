#include "services/server_info.h"

#include <memory>
#include <mutex>
#include <utility>

#include "services/channel_record_source.h"

namespace pelmar {

CServerInfo::CServerInfo(std::unique_ptr<IRecordSource<ChannelRecord>> source) {
  IRecordKeeper<ChannelRecord>* keeper = this;  // a private base: converted here, inside
  reader_ = std::make_unique<CRecordReaderThread<ChannelRecord>>(keeper, std::move(source));
}

CServerInfo::CServerInfo(ServerInfoSettings settings)
    : CServerInfo(std::make_unique<ChannelRecordSource>(std::move(settings))) {}

CServerInfo::~CServerInfo() { reader_.reset(); }

void CServerInfo::RequestStop() { reader_->RequestStop(); }

void CServerInfo::StopReader() { reader_->StopAndJoin(); }

bool CServerInfo::StopReaderWithin(int milliseconds) {
  const bool ended = reader_->StopWithin(milliseconds);
  abandoned_.store(!ended);
  return ended;
}

std::string CServerInfo::WelcomeUrl() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.welcomeUrl;
}

std::string CServerInfo::AdvertisingAccount() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.advertisingAccountName;
}

bool CServerInfo::AttributionFlag() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.attribution;
}

std::string CServerInfo::AppId() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.appId;
}

std::string CServerInfo::AppName() {
  std::lock_guard<CXMutex> lock(mutex_);
  return record_.appName;
}

void CServerInfo::ClearWelcomeUrl() {
  std::lock_guard<CXMutex> lock(mutex_);
  record_.welcomeUrl.clear();
}

std::string CServerInfo::LastFailure() {
  std::lock_guard<CXMutex> lock(mutex_);
  return failure_;
}

void CServerInfo::Store(const ChannelRecord& record) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    record_ = record;
  }
  status_.store(1);
}

void CServerInfo::Finish() { status_.store(1); }

void CServerInfo::Fail(const std::string& text) {
  {
    std::lock_guard<CXMutex> lock(mutex_);
    failure_ = text;
  }
  status_.store(2);
}

namespace {
// Set once the process record exists; read by the stop function, which must
// not create it.
std::atomic<CServerInfo*> g_instance{nullptr};

// An abandoned record still has a running reader that uses it: it is left
// to the process exit, which ends that thread, rather than freed under it.
struct RecordDeleter {
  void operator()(CServerInfo* record) const {
    if (!record->Abandoned()) delete record;
  }
};

}  // namespace

IServerInfo* GetServerInfo() {
  // Guarded static: made once, stopped and joined at process exit.
  static const std::unique_ptr<CServerInfo, RecordDeleter> instance = []() {
    try {
      return std::unique_ptr<CServerInfo, RecordDeleter>(new CServerInfo());
    } catch (...) {
      return std::unique_ptr<CServerInfo, RecordDeleter>();
    }
  }();
  g_instance.store(instance.get());
  return instance.get();
}

bool StopServerInfoReader(int milliseconds) {
  CServerInfo* instance = g_instance.load();
  return instance == nullptr || instance->StopReaderWithin(milliseconds);
}

}  // namespace pelmar
