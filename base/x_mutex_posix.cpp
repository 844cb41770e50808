#include <mutex>

#include "base/x_mutex.h"

namespace pelmar {

// Recursive like the Windows mutex, so a thread that holds it may take it again.
struct CXMutex::Native {
  std::recursive_mutex mutex;
};

CXMutex::CXMutex() : native_(new Native) {}
CXMutex::~CXMutex() = default;
void CXMutex::Lock() {
  if (native_) native_->mutex.lock();
}
void CXMutex::Unlock() {
  if (native_) native_->mutex.unlock();
}

}  // namespace pelmar
