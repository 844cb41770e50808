#include <windows.h>

#include "base/x_mutex.h"

namespace pelmar {

struct CXMutex::Native {
  HANDLE handle;
};

CXMutex::CXMutex() {
  HANDLE h = ::CreateMutexW(nullptr, FALSE, nullptr);
  if (h != nullptr) native_.reset(new Native{h});
}

CXMutex::~CXMutex() {
  if (native_) ::CloseHandle(native_->handle);
}

void CXMutex::Lock() {
  if (native_) ::WaitForSingleObject(native_->handle, INFINITE);
}

void CXMutex::Unlock() {
  if (native_) ::ReleaseMutex(native_->handle);
}

}  // namespace pelmar
