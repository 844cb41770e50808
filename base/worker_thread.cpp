#include "base/worker_thread.h"

#include <system_error>

namespace pelmar {
namespace {
std::atomic<int> g_refused_creations{0};
}  // namespace

void CWorkerThread::RefuseCreationsForTesting(int count) { g_refused_creations.store(count); }

bool CWorkerThread::CreationRefused() {
  int left = g_refused_creations.load();
  while (left > 0) {
    if (g_refused_creations.compare_exchange_weak(left, left - 1)) return true;
  }
  return false;
}

CWorkerThread::~CWorkerThread() {
  RequestStop();
  Join();
}

bool CWorkerThread::Start(Body body) {
  if (HasThread() || CreationRefused()) return false;
  // A fresh token per run: a stop asked of the last run does not end this one.
  CStopToken* stop = nullptr;
  {
    std::lock_guard<std::mutex> lock(stop_mutex_);
    stop_ = std::make_unique<CStopToken>();
    stop = stop_.get();
  }
  running_.store(true, std::memory_order_release);
  try {
    thread_ = std::thread([this, stop, body = std::move(body)] {
      uint32_t code = kEscapedExitCode;
      try {
        code = body(*stop);
      } catch (...) {
        // Whatever a body lets escape must not cross the thread boundary.
      }
      exit_code_.store(code, std::memory_order_release);
      running_.store(false, std::memory_order_release);
    });
  } catch (const std::system_error&) {
    running_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

void CWorkerThread::RequestStop() {
  std::lock_guard<std::mutex> lock(stop_mutex_);
  if (stop_) stop_->RequestStop();
}

void CWorkerThread::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace pelmar
