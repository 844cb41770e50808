// installer_remote: lets scripts drive a running installer from inside Wine.
//   installer_remote wait [seconds]   waits until the main window exists
//   installer_remote close [seconds]  posts WM_CLOSE to it, answers the cancel
//                                     confirmation with "确认", and waits until it is gone
//   installer_remote cache            prints the run cache directories on the best volume
// Exit code 0 on success, 1 on a time-out, 2 on bad usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/single_instance.h"
#include "app/system_queries.h"
#include "pages/page_declaration.h"
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

// The cancel confirmation of the main or the custom page, when shown.
HWND CancelConfirmation() {
  for (const wchar_t* name : {L"BeginChildCloseWnd", L"CustomeChildCloseWnd"}) {
    HWND dialog = FindWindowW(name, nullptr);
    if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
  }
  return nullptr;
}

// Presses and releases the left mouse button over the dialog's "确认", so the
// dialog's own hit-testing and click handling run.
void Confirm(HWND dialog) {
  RECT r{};
  GetWindowRect(dialog, &r);
  const pelmar::PageDeclaration page = pelmar::DialogDeclaration(pelmar::WarnLook());
  const std::vector<pelmar::UiRect> rects =
      pelmar::LayOutDeclaration(page, r.right - r.left, r.bottom - r.top);
  for (size_t i = 0; i < page.size(); ++i) {
    if (page[i].kind != pelmar::DeclKind::kButton || page[i].id != pelmar::dialog_ids::kLeft)
      continue;
    const LPARAM at =
        MAKELPARAM((rects[i].left + rects[i].right) / 2, (rects[i].top + rects[i].bottom) / 2);
    PostMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(dialog, WM_LBUTTONUP, 0, at);
  }
}

bool Close(int seconds) {
  if (HWND window = pelmar::FindFirstTopLevelWindowOfClass(pelmar::kMainWindowClassName)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  bool confirmed = false;
  for (int i = 0; i < seconds * 10; ++i) {
    if (!pelmar::FindFirstTopLevelWindowOfClass(pelmar::kMainWindowClassName)) return true;
    if (!confirmed) {
      if (HWND dialog = CancelConfirmation()) {
        Confirm(dialog);
        confirmed = true;
      }
    }
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
  if (command == L"close") return Close(seconds) ? 0 : 1;
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
