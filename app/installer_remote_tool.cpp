// installer_remote: lets scripts drive a running installer from inside Wine.
//   installer_remote wait [seconds]   waits until the main window exists
//   installer_remote close [seconds]  posts WM_CLOSE to it and waits until it is gone
//   installer_remote cache            prints the run cache directories on the best volume
// Exit code 0 on success, 1 on a time-out, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "app/single_instance.h"
#include "app/system_queries.h"
#include "base/win/scoped_handle.h"

namespace {

bool WaitFor(bool want_window, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    const bool present = pelmar::FindFirstTopLevelWindowOfClass(pelmar::kMainWindowClassName);
    if (present == want_window) return true;
    Sleep(100);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  const int seconds = argc > 2 ? _wtoi(argv[2]) : 30;
  if (command == L"wait") return WaitFor(true, seconds) ? 0 : 1;
  if (command == L"close") {
    if (HWND window = pelmar::FindFirstTopLevelWindowOfClass(pelmar::kMainWindowClassName)) {
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return WaitFor(false, seconds) ? 0 : 1;
  }
  if (command == L"cache") {
    const std::wstring root = pelmar::BestVolumeRoot();
    WIN32_FIND_DATAW entry;
    pelmar::win::ScopedFindHandle find(FindFirstFileW((root + L"PelmarPkg_*").c_str(), &entry));
    if (find) {
      do {
        std::wprintf(L"%ls%ls\n", root.c_str(), entry.cFileName);
      } while (FindNextFileW(find.get(), &entry));
    }
    return 0;
  }
  return 2;
}
