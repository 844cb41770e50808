#include "services/server_info.h"

#include <memory>
#include <utility>

#include "services/channel_record_source.h"

namespace pelmar {

CServerInfo::CServerInfo(std::unique_ptr<IRecordSource<ChannelRecord>> source)
    : CRecordHolder(std::move(source)) {}

CServerInfo::CServerInfo(ServerInfoSettings settings)
    : CServerInfo(std::make_unique<ChannelRecordSource>(std::move(settings))) {}

std::string CServerInfo::WelcomeUrl() {
  return Read([](const ChannelRecord& r) { return r.welcomeUrl; });
}

std::string CServerInfo::AdvertisingAccount() {
  return Read([](const ChannelRecord& r) { return r.advertisingAccountName; });
}

bool CServerInfo::AttributionFlag() {
  return Read([](const ChannelRecord& r) { return r.attribution; });
}

std::string CServerInfo::AppId() {
  return Read([](const ChannelRecord& r) { return r.appId; });
}

std::string CServerInfo::AppName() {
  return Read([](const ChannelRecord& r) { return r.appName; });
}

void CServerInfo::ClearWelcomeUrl() {
  Update([](ChannelRecord* r) { r->welcomeUrl.clear(); });
}

IServerInfo* GetServerInfo() { return ProcessRecord<CServerInfo>::Get(); }

bool StopServerInfoReader(int milliseconds) {
  return ProcessRecord<CServerInfo>::StopReaderWithin(milliseconds);
}

}  // namespace pelmar
