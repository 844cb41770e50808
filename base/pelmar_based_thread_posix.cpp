#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/pelmar_based_thread.h"

namespace pelmar {

// std::thread cannot start suspended, so the new thread waits at a gate until
// Release or Join opens it.
struct CPelmarBasedThread::Native {
  std::mutex mutex;
  std::condition_variable opened;
  bool gate_open = false;
  std::thread thread;
};

CPelmarBasedThread::CPelmarBasedThread() : native_(new Native) {
  try {
    native_->thread = std::thread([this] {
      {
        std::unique_lock<std::mutex> lock(native_->mutex);
        native_->opened.wait(lock, [this] { return native_->gate_open; });
      }
      StartRoutine(this);
    });
  } catch (const std::system_error&) {
    native_.reset();
    running_.store(false);
  }
}

CPelmarBasedThread::~CPelmarBasedThread() { Join(); }

uint32_t CPelmarBasedThread::StartRoutine(void* self) {
  return Entry(static_cast<CPelmarBasedThread*>(self));
}

bool CPelmarBasedThread::HasThread() const { return native_ && native_->thread.joinable(); }

void CPelmarBasedThread::Resume() {
  std::lock_guard<std::mutex> lock(native_->mutex);
  native_->gate_open = true;
  native_->opened.notify_one();
}

void CPelmarBasedThread::Join() {
  if (!HasThread()) return;
  Resume();
  native_->thread.join();
}

}  // namespace pelmar
