#pragma once

#include <atomic>
#include <cstdint>

#include "base/stop_token.h"
#include "base/worker_thread.h"

namespace pelmar {

// Base of the worker threads that still derive from a thread class (new
// workers hold a CWorkerThread instead). The thread is made at construction
// and waits until a derived constructor has finished its members; the
// derived constructor's last step is Release(). Destruction order for a
// derived class:
//   1. raise its own stop flag;  2. Join();  3. let its members go.
// Run never lets an exception out: what escapes ends it with exit code -1.
class CPelmarBasedThread {
 public:
  virtual ~CPelmarBasedThread();
  CPelmarBasedThread(const CPelmarBasedThread&) = delete;
  CPelmarBasedThread& operator=(const CPelmarBasedThread&) = delete;

  bool IsStartPending() const { return start_pending_.load(); }
  bool IsRunning() const { return running_.load(); }  // false once Run has returned
  bool HasThread() const { return worker_.HasThread(); }
  uint32_t ExitCode() const { return exit_code_.load(); }  // valid once IsRunning() is false

  // Tests only: the next `count` threads are not made, as when the system has
  // no room for another thread.
  static void RefuseCreationsForTesting(int count);

 protected:
  CPelmarBasedThread();
  virtual uint32_t Run() = 0;

  // Lets the waiting thread run Run(). Call as the last constructor step.
  void Release();
  // Waits without limit for the thread to end. A thread never released is
  // let go with start_pending_ still set, so it ends without calling Run.
  // Safe to call more than once.
  void Join();

 private:
  uint32_t Entry();

  std::atomic<bool> start_pending_{true};
  std::atomic<bool> running_{true};
  std::atomic<uint32_t> exit_code_{0};
  // Raised by Release or Join: the thread may go on (to Run, or to its end).
  CStopToken gate_;
  CWorkerThread worker_;
};

}  // namespace pelmar
