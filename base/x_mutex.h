#pragma once

#include <memory>

namespace pelmar {

// The lock embedded in every shared structure: an unnamed, initially unowned
// operating-system mutex, recursive like a Win32 mutex. Lock waits without a
// time limit. Also usable with std::lock_guard / std::unique_lock.
class CXMutex {
 public:
  CXMutex();
  virtual ~CXMutex();
  CXMutex(const CXMutex&) = delete;
  CXMutex& operator=(const CXMutex&) = delete;

  void Lock();
  void Unlock();
  void lock() { Lock(); }
  void unlock() { Unlock(); }

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace pelmar
