#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/x_mutex.h"
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

class IServerInfo {
 public:
  virtual ~IServerInfo() = default;
  // 0 while the reader runs, 1 when it ended normally, 2 when it failed.
  virtual int Status() = 0;
  // Copies taken under the lock; empty (false) until the reader stored them.
  virtual std::string WelcomeUrl() = 0;
  virtual std::string AdvertisingAccount() = 0;
  virtual bool AttributionFlag() = 0;
  virtual std::string AppId() = 0;
  virtual std::string AppName() = 0;
  virtual void ClearWelcomeUrl() = 0;
};

class CReadServerInfoThread;

// Threads: the reader stores the record once under `mutex_`; any thread
// reads it through the accessors, which take the lock and return copies.
class CServerInfo : public IServerInfo {
 public:
  // Starts the reader at once.
  explicit CServerInfo(ServerInfoSettings settings = DefaultServerInfoSettings());
  // Stops the reader (waking a pause or a blocked exchange) and waits for it.
  ~CServerInfo() override;
  CServerInfo(const CServerInfo&) = delete;
  CServerInfo& operator=(const CServerInfo&) = delete;

  int Status() override { return status_.load(); }
  std::string WelcomeUrl() override;
  std::string AdvertisingAccount() override;
  bool AttributionFlag() override;
  std::string AppId() override;
  std::string AppName() override;
  void ClearWelcomeUrl() override;

  // The reader's failure text ("" while running or after success).
  std::string LastFailure();
  void RequestStop();
  // Stops the reader and waits for it; the record stays readable.
  void StopReader();

 private:
  friend class CReadServerInfoThread;
  void Store(const ChannelRecord& record);
  void Finish();
  void Fail(const std::string& text);

  std::atomic<int> status_{0};
  CXMutex mutex_;
  ChannelRecord record_;  // guarded by mutex_
  std::string failure_;   // guarded by mutex_
  std::unique_ptr<CReadServerInfoThread> reader_;
};

// The process's channel record, created (and its reader started) on first
// call; stopped and destroyed at process exit. Null only when it could not be
// made.
IServerInfo* GetServerInfo();
// Stops the process record's reader and waits for it, when the record was
// made. The quit sequence calls it before the process entry returns.
void StopServerInfoReader();

}  // namespace pelmar
