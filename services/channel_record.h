#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "services/server_exchange.h"

namespace pelmar {

// The gateway's record for this run's distribution channel: application id
// and name, the welcome page, the advertising account, the attribution flag.

// A channel answer is a few hundred bytes; anything larger is refused.
inline constexpr size_t kMaxChannelRecordBytes = 1024 * 1024;
inline constexpr int kChannelAttempts = 3;
inline constexpr const char* kChannelPath = "/applicationService/channel/welcome?channel=";

struct ChannelRecord {
  std::string appId;
  std::string appName;
  bool attribution = false;  // "tesselOcpc"
  std::string welcomeUrl;
  std::string advertisingAccountName;
};

// Reads an answer body: empty result with `record` set (all members empty
// when "code" is a string other than "server.success" or there is no
// "data"), or the failure text with `record` untouched ("parse decrypt data
// error", "code is not a string", or the JSON library's conversion error).
// String members take numbers in decimal and booleans as "true"/"false";
// the flag takes booleans and numbers (not zero is true). Reads nothing
// outside `body`.
std::string ParseChannelRecord(std::string_view body, ChannelRecord* record);

struct ServerInfoSettings {
  ServerEndpoint gateway;
  std::string hostText;  // the "Host" line's value
  int retryPauseMs = 300;
  int timeLimitMs = 5000;
  // The run's channel (UTF-8); the default reads the AppContext.
  std::function<std::string()> channel;
};
ServerInfoSettings DefaultServerInfoSettings();

}  // namespace pelmar
