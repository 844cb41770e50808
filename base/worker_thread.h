#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "base/stop_token.h"

namespace pelmar {

// Owns one worker thread and its stop token: a class that needs a worker
// holds one of these as a member (declared after what the body uses, so it
// is destroyed, and the thread ended, first) instead of deriving from a
// thread class. The body gets the token; it pauses with the token's WaitFor
// and returns when a stop is requested. Destruction requests a stop and
// waits for the body to return.
//
// Threads: Start, Join and destruction belong to the owner's thread; any
// thread may call RequestStop, Running and ExitCode.
class CWorkerThread {
 public:
  using Body = std::function<uint32_t(CStopToken& stop)>;
  // The exit code of a body that let an exception out.
  static constexpr uint32_t kEscapedExitCode = 0xFFFFFFFF;

  CWorkerThread() = default;
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Runs `body` on a new thread with a fresh stop token. False when a thread
  // is still owned (Join it first) or the system cannot make one.
  [[nodiscard]] bool Start(Body body);
  // Asks the body to end; does not wait. Nothing when no thread is owned.
  void RequestStop();
  // Waits without limit for the body to return; safe to call more than once.
  void Join();

  bool HasThread() const { return thread_.joinable(); }
  // True from Start until the body has returned.
  bool Running() const { return running_.load(std::memory_order_acquire); }
  // The body's result once Running() is false.
  uint32_t ExitCode() const { return exit_code_.load(std::memory_order_acquire); }

  // Tests only: the next `count` Starts fail, as when the system has no room
  // for another thread.
  static void RefuseCreationsForTesting(int count);

 private:
  static bool CreationRefused();

  std::mutex stop_mutex_;  // guards the pointer `stop_`, not the token
  std::unique_ptr<CStopToken> stop_;
  std::atomic<bool> running_{false};
  std::atomic<uint32_t> exit_code_{0};
  std::thread thread_;
};

}  // namespace pelmar
