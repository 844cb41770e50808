#include "services/server_info.h"

#include <json/json.h>

#include <memory>
#include <mutex>
#include <utility>

#include "base/app_context.h"
#include "pelmar_config.h"
#include "services/lenient_json.h"
#include "services/read_server_info_thread.h"

namespace pelmar {

namespace {

std::string ChannelFromContext() {
  AppContext* ctx = GetAppContext();
  if (!ctx) return {};
  std::lock_guard<CXMutex> lock(ctx->mutex);
  return ctx->channel;
}

}  // namespace

std::string ParseChannelRecord(std::string_view body, ChannelRecord* record) {
  Json::Value root;
  if (body.size() > kMaxChannelRecordBytes || !ParseLenientJson(body, &root))
    return "parse decrypt data error";
  ChannelRecord fresh;
  // Members of the wrong JSON type leave as the library's conversion errors,
  // which fail the fetch like a body that does not parse.
  try {
    if (root.isMember("code")) {
      const Json::Value& code = root["code"];
      if (!code.isString()) return "code is not a string";
      if (code.asString() == "server.success" && root.isMember("data")) {
        const Json::Value& data = root["data"];
        if (data.isMember("appId")) fresh.appId = data["appId"].asString();
        if (data.isMember("appName")) fresh.appName = data["appName"].asString();
        if (data.isMember("welcomeUrl")) fresh.welcomeUrl = data["welcomeUrl"].asString();
        if (data.isMember("advertisingAccountName"))
          fresh.advertisingAccountName = data["advertisingAccountName"].asString();
        if (data.isMember("tesselOcpc")) fresh.attribution = data["tesselOcpc"].asBool();
      }
    }
  } catch (const Json::Exception& e) {
    return e.what();
  }
  *record = std::move(fresh);
  return {};
}

ServerInfoSettings DefaultServerInfoSettings() {
  ServerInfoSettings s;
  s.gateway = {config::kGateway.host, static_cast<uint16_t>(config::kGateway.port)};
  s.hostText = config::kGateway.host;
  s.channel = ChannelFromContext;
  return s;
}

CServerInfo::CServerInfo(ServerInfoSettings settings) {
  reader_ = std::make_unique<CReadServerInfoThread>(this, std::move(settings));
}

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
