#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pelmar {

// The one way a worker is asked to end and the one way it pauses: a flag
// that, once raised, stays raised and wakes every wait on it at once.
// Any thread may raise it or wait on it.
class CStopToken {
 public:
  // Waits without a time limit.
  static constexpr uint32_t kForever = 0xFFFFFFFF;

  CStopToken() = default;
  CStopToken(const CStopToken&) = delete;
  CStopToken& operator=(const CStopToken&) = delete;

  void RequestStop();
  bool StopRequested() const { return stopped_.load(std::memory_order_acquire); }
  // Pauses for `milliseconds` (kForever: until a stop) unless a stop is, or
  // becomes, requested. True when the whole pause passed, false when stopped.
  [[nodiscard]] bool WaitFor(uint32_t milliseconds);

 private:
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;  // pairs with `woken_`; guards nothing else
  std::condition_variable woken_;
};

}  // namespace pelmar
