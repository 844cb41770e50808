#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace pelmar {

// Base of every worker thread. The thread is created suspended so a derived
// constructor can finish its members first; the derived constructor's last
// step is Release(). Destruction order for a derived class:
//   1. raise its own stop flag;  2. Join();  3. let its members go.
// Run never lets an exception out: the entry catches what escapes and ends
// with exit code -1.
class CPelmarBasedThread {
 public:
  virtual ~CPelmarBasedThread();
  CPelmarBasedThread(const CPelmarBasedThread&) = delete;
  CPelmarBasedThread& operator=(const CPelmarBasedThread&) = delete;

  bool IsStartPending() const { return start_pending_.load(); }
  bool IsRunning() const { return running_.load(); }  // false once Run has returned
  bool HasThread() const;
  uint32_t ExitCode() const { return exit_code_.load(); }  // valid once IsRunning() is false

  // The platform's thread start routine; not for callers.
  static uint32_t StartRoutine(void* self);

 protected:
  CPelmarBasedThread();
  virtual uint32_t Run() = 0;

  // Lets the suspended thread run Run(). Call as the last constructor step.
  void Release();
  // Waits without limit for the thread to end. A thread never released is
  // resumed with start_pending_ still set, so it ends without calling Run.
  // Safe to call more than once.
  void Join();

 private:
  struct Native;
  static uint32_t Entry(CPelmarBasedThread* self);
  void Resume();

  std::atomic<bool> start_pending_{true};
  std::atomic<bool> running_{true};
  std::atomic<uint32_t> exit_code_{0};
  std::unique_ptr<Native> native_;
};

}  // namespace pelmar
