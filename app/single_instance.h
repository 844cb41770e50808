#pragma once

#include <windows.h>

#include "base/win/scoped_handle.h"

namespace pelmar {

// Names that make one installer per session: the mutex held for the whole run
// and the class of the main window a second start hands over to.
inline constexpr wchar_t kSingleInstanceMutexName[] =
    L"KavriPkg-Event-3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946";
inline constexpr wchar_t kMainWindowClassName[] =
    L"KavriPkg-Window-3A61C0E4-92D7-4B58-A1F3-0D8E5B27C946";

// Owns the single-instance mutex for the process's lifetime.
class CSingleInstance {
 public:
  CSingleInstance() = default;
  ~CSingleInstance() { Close(); }
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // Creates the mutex with initial ownership. False only when another
  // installer holds it already; a failure to create it counts as first.
  [[nodiscard]] bool AcquireFirst();
  void Close();

 private:
  win::ScopedHandle mutex_;
};

// The first top-level window whose class name is exactly `class_name`
// (compared over at most 259 characters), or null.
HWND FindFirstTopLevelWindowOfClass(const wchar_t* class_name);

// A second start: hands over to the first installer's main window (posts
// WM_BRING_TO_FRONT when it is there; it may still be starting).
void HandOverToFirstInstance();

}  // namespace pelmar
