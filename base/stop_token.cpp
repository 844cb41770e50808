#include "base/stop_token.h"

#include <chrono>

namespace pelmar {

void CStopToken::RequestStop() {
  {
    // Raised under the lock so a waiter between its check and its sleep
    // cannot miss the wake.
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_.store(true, std::memory_order_release);
  }
  woken_.notify_all();
}

bool CStopToken::WaitFor(uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto stopped = [this] { return stopped_.load(std::memory_order_acquire); };
  if (milliseconds == kForever) {
    woken_.wait(lock, stopped);
    return false;
  }
  return !woken_.wait_for(lock, std::chrono::milliseconds(milliseconds), stopped);
}

}  // namespace pelmar
