#include "app/single_instance.h"

#include <cwchar>

#include "ui/window_messages.h"

namespace pelmar {
namespace {

struct Search {
  const wchar_t* class_name;
  HWND found;
};

BOOL CALLBACK MatchClass(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t name[260] = {};
  if (GetClassNameW(window, name, 259) > 0 && std::wcscmp(name, search->class_name) == 0) {
    search->found = window;
    return FALSE;  // the first one wins
  }
  return TRUE;
}

}  // namespace

bool CSingleInstance::AcquireFirst() {
  mutex_.reset(CreateMutexW(nullptr, TRUE, kSingleInstanceMutexName));
  if (mutex_ && GetLastError() == ERROR_ALREADY_EXISTS) {
    Close();
    return false;
  }
  return true;
}

void CSingleInstance::Close() { mutex_.reset(); }

HWND FindFirstTopLevelWindowOfClass(const wchar_t* class_name) {
  Search search{class_name, nullptr};
  EnumWindows(MatchClass, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void HandOverToFirstInstance() {
  if (HWND first = FindFirstTopLevelWindowOfClass(kMainWindowClassName)) {
    PostMessageW(first, WM_BRING_TO_FRONT, 0, 0);
  }
}

}  // namespace pelmar
