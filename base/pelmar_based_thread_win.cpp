#include <windows.h>

#include "base/pelmar_based_thread.h"

namespace pelmar {

namespace {
DWORD WINAPI ThreadStart(LPVOID self);
}  // namespace

struct CPelmarBasedThread::Native {
  HANDLE handle = nullptr;
  bool suspended = true;
};

CPelmarBasedThread::CPelmarBasedThread() : native_(new Native) {
  native_->handle = ::CreateThread(nullptr, 0, &ThreadStart, this, CREATE_SUSPENDED, nullptr);
  if (native_->handle == nullptr) running_.store(false);
}

CPelmarBasedThread::~CPelmarBasedThread() { Join(); }

uint32_t CPelmarBasedThread::StartRoutine(void* self) {
  return Entry(static_cast<CPelmarBasedThread*>(self));
}

namespace {
DWORD WINAPI ThreadStart(LPVOID self) { return CPelmarBasedThread::StartRoutine(self); }
}  // namespace

bool CPelmarBasedThread::HasThread() const { return native_ && native_->handle != nullptr; }

void CPelmarBasedThread::Resume() {
  if (native_->suspended) {
    native_->suspended = false;
    ::ResumeThread(native_->handle);
  }
}

void CPelmarBasedThread::Join() {
  if (!HasThread()) return;
  Resume();
  ::WaitForSingleObject(native_->handle, INFINITE);
  ::CloseHandle(native_->handle);
  native_->handle = nullptr;
}

}  // namespace pelmar
