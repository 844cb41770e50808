#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/x_mutex.h"
#include "services/channel_record.h"
#include "services/record_reader_thread.h"

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

// Threads: the reader stores the record once under `mutex_`; any thread
// reads it through the accessors, which take the lock and return copies.
class CServerInfo : public IServerInfo, private IRecordKeeper<ChannelRecord> {
 public:
  // Starts the reader at once, reading from `source`.
  explicit CServerInfo(std::unique_ptr<IRecordSource<ChannelRecord>> source);
  // Starts the reader at once, asking the gateway as `settings` say.
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
  // As CPkgInfo::StopReaderWithin.
  [[nodiscard]] bool StopReaderWithin(int milliseconds);
  bool Abandoned() const { return abandoned_.load(); }

 private:
  void Store(const ChannelRecord& record) override;
  void Finish() override;
  void Fail(const std::string& text) override;

  std::atomic<int> status_{0};
  CXMutex mutex_;
  ChannelRecord record_;  // guarded by mutex_
  std::string failure_;   // guarded by mutex_
  std::unique_ptr<CRecordReaderThread<ChannelRecord>> reader_;
  std::atomic<bool> abandoned_{false};
};

// The process's channel record, created (and its reader started) on first
// call; stopped and destroyed at process exit. Null only when it could not be
// made.
IServerInfo* GetServerInfo();
// As StopPkgInfoReader, for the channel record.
[[nodiscard]] bool StopServerInfoReader(int milliseconds);

}  // namespace pelmar
