#pragma once

#include <cstdint>

#include "base/pelmar_based_thread.h"
#include "services/pkg_info.h"
#include "services/server_exchange.h"

namespace pelmar {

// Fetches the package record once: the SDK-built request to the support
// host, then to its fixed address, every retry pause until an answer comes
// or a stop is requested; then opens the envelope and stores the record in
// its CPkgInfo. Result 0 when stored, 1 on failure.
class CReadPkgInfoThread : public CPelmarBasedThread {
 public:
  // Runs at once; `owner` must outlive the thread (its destructor joins it).
  CReadPkgInfoThread(CPkgInfo* owner, PkgInfoSettings settings);
  // Requests a stop and waits for Run to return.
  ~CReadPkgInfoThread() override;

  // Wakes a pause and a blocked exchange; the thread ends with "user cancel"
  // unless it already has its answer.
  void RequestStop() { exchange_.RequestStop(); }
  // Stops the thread and waits for Run to return (also what destruction does).
  void StopAndJoin();

 protected:
  uint32_t Run() override;

 private:
  // The first non-empty answer; throws "user cancel" when stopped first.
  std::string FetchAnswer(const std::string& request);
  std::string TryExchange(const ServerEndpoint& to, const std::string& request);

  CPkgInfo* owner_;
  PkgInfoSettings settings_;
  CServerExchange exchange_;
};

}  // namespace pelmar
