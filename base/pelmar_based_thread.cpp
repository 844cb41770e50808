#include "base/pelmar_based_thread.h"

namespace pelmar {

void CPelmarBasedThread::RefuseCreationsForTesting(int count) {
  CWorkerThread::RefuseCreationsForTesting(count);
}

CPelmarBasedThread::CPelmarBasedThread() {
  // The thread cannot run Run() before the derived object exists, so it
  // waits at the gate first.
  const bool made = worker_.Start([this](CStopToken&) {
    (void)gate_.WaitFor(CStopToken::kForever);
    return Entry();
  });
  if (!made) running_.store(false);
}

CPelmarBasedThread::~CPelmarBasedThread() { Join(); }

uint32_t CPelmarBasedThread::Entry() {
  uint32_t code = 0xFFFFFFFF;
  if (!start_pending_.load()) {
    try {
      code = Run();
    } catch (...) {
      // A worker reports its failures through its own state; whatever still
      // escapes must not cross the thread boundary.
      code = 0xFFFFFFFF;
    }
  }
  exit_code_.store(code);
  running_.store(false);
  return code;
}

void CPelmarBasedThread::Release() {
  if (!HasThread()) return;
  start_pending_.store(false);
  gate_.RequestStop();
}

void CPelmarBasedThread::Join() {
  if (!HasThread()) return;
  gate_.RequestStop();
  worker_.Join();
}

}  // namespace pelmar
