#include "base/pelmar_based_thread.h"

namespace pelmar {

uint32_t CPelmarBasedThread::Entry(CPelmarBasedThread* self) {
  uint32_t code = 0xFFFFFFFF;
  if (!self->start_pending_.load()) {
    try {
      code = self->Run();
    } catch (...) {
      // A worker reports its failures through its own state; whatever still
      // escapes must not cross the thread boundary.
      code = 0xFFFFFFFF;
    }
  }
  self->exit_code_.store(code);
  self->running_.store(false);
  return code;
}

void CPelmarBasedThread::Release() {
  if (!HasThread()) return;
  start_pending_.store(false);
  Resume();
}

}  // namespace pelmar
