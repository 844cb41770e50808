#pragma once

#include <cstdint>

#include "base/pelmar_based_thread.h"
#include "services/server_exchange.h"
#include "services/server_info.h"

namespace pelmar {

// Fetches the channel record once (up to kChannelAttempts GETs, a retry
// pause apart) and stores it in its CServerInfo. No channel, no request.
// Result 0 when it ended normally, 1 on failure.
class CReadServerInfoThread : public CPelmarBasedThread {
 public:
  // Runs at once; `owner` must outlive the thread (its destructor joins it).
  CReadServerInfoThread(CServerInfo* owner, ServerInfoSettings settings);
  // Requests a stop and waits for Run to return.
  ~CReadServerInfoThread() override;

  void RequestStop() { exchange_.RequestStop(); }
  // Stops the thread and waits for Run to return (also what destruction does).
  void StopAndJoin();

 protected:
  uint32_t Run() override;

 private:
  CServerInfo* owner_;
  ServerInfoSettings settings_;
  CServerExchange exchange_;
};

}  // namespace pelmar
