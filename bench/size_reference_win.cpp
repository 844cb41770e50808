// The size benchmark's reference: the smallest program on the installer's
// toolchain and runtime (static C++ runtime, a window, a thread, a string and
// an exception), so install.exe's size shows what the product adds to that.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <thread>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  std::wstring text = L"size reference";
  std::thread worker([&text] { text += L"."; });
  worker.join();
  try {
    if (command_line != nullptr && command_line[0] == L'!') throw std::runtime_error("asked to");
  } catch (const std::exception&) {
    return 1;
  }
  return MessageBoxW(nullptr, text.c_str(), L"size reference", MB_OK) == IDOK ? 0 : 1;
}
