#include "services/channel_record.h"

#include <json/json.h>

#include <mutex>
#include <utility>

#include "base/app_context.h"
#include "pelmar_config.h"
#include "services/lenient_json.h"

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

}  // namespace pelmar
