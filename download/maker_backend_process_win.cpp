#include <windows.h>

#include <string>

#include "base/text_convert.h"
#include "base/win/scoped_handle.h"
#include "download/maker_backend_process.h"

namespace pelmar::testing {

// Under Wine a Unix program can be started like a Windows one; it gets no
// process handle, so the server is ended through its pid file instead.
bool SpawnBackendShell(const std::string& command) {
  std::string quoted = "\"";
  for (char c : command) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += "\"";
  std::wstring line = L"/bin/sh -c " + WideFromUtf8(quoted);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return false;
  }
  // Closed at once: the started program runs on by itself.
  win::ScopedHandle thread(pi.hThread);
  win::ScopedHandle process(pi.hProcess);
  return true;
}

std::string LocalPathOf(const std::string& unix_path) {
  std::string path = "Z:";
  for (char c : unix_path) path += (c == '/') ? '\\' : c;
  return path;
}

}  // namespace pelmar::testing
