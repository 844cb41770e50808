#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "services/channel_record.h"
#include "services/record_holder.h"

namespace pelmar {

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

// The gateway's channel record, read once by its own reader (CRecordHolder:
// which threads enter it, how it stops).
class CServerInfo : public IServerInfo, public CRecordHolder<ChannelRecord> {
 public:
  // Starts the reader at once, reading from `source`.
  explicit CServerInfo(std::unique_ptr<IRecordSource<ChannelRecord>> source);
  // Starts the reader at once, asking the gateway as `settings` say.
  explicit CServerInfo(ServerInfoSettings settings = DefaultServerInfoSettings());

  int Status() override { return ReaderStatus(); }
  std::string WelcomeUrl() override;
  std::string AdvertisingAccount() override;
  bool AttributionFlag() override;
  std::string AppId() override;
  std::string AppName() override;
  void ClearWelcomeUrl() override;
};

// The process's channel record, created (and its reader started) on first
// call; stopped and destroyed at process exit. Null only when it could not be
// made.
IServerInfo* GetServerInfo();
// As StopPkgInfoReader, for the channel record.
[[nodiscard]] bool StopServerInfoReader(int milliseconds);

}  // namespace pelmar
