// Helper program of vek_runtime_tests.
//   vek_crash_probe <maker dir> <cache dir> <collector port>
//     binds the SDK from its own resource like the installer, then crashes;
//     the SDK's filter writes a dump and runs the logger's crash handler.
//   vek_crash_probe <maker dir> <cache dir> <collector port> <count>
//     binds the SDK the same way and commits <count> events, then exits 0.
//   vek_crash_probe   (no arguments)
//     writes "started.txt" beside itself: a program for ShellExecAsUser.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "services/logger_server.h"
#include "services/sdk_binding.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc == 1) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring marker(path);
    marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"started.txt";
    HANDLE f = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(f);
    return 0;
  }
  if (argc != 4 && argc != 5) return 2;
  pelmar::CSdkBinding::SetLocations({argv[2], argv[1]});
  const int port = _wtoi(argv[3]);
  static pelmar::CLoggerServer logger(
      [port](pelmar::VekTables& t, VekCrashHandler handler, void* context) {
        pelmar::CSdkBinding::Bind(t, handler, context);
        (void)t.core->setHostInfo(t.core->handle, "127.0.0.1", port);
      });
  if (argc == 5) {
    const int count = _wtoi(argv[4]);
    logger.ClearProperties();
    logger.SetIntProperty("pid", static_cast<int>(GetCurrentProcessId()));
    for (int i = 0; i < count; ++i) {
      if (!logger.SendEvent("vWriter")) return 4;
    }
    return 0;
  }
  logger.ClearProperties();
  logger.SetStringProperty("left_over", "cleared by the crash handler");
  volatile int* nowhere = nullptr;
  *nowhere = 1;
  return 3;
}
