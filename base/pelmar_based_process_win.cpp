#include <windows.h>

#include <vector>

#include "base/pelmar_based_process.h"

namespace pelmar {

struct CPelmarBasedProcess::Native {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
};

CPelmarBasedProcess::CPelmarBasedProcess(std::wstring command_line)
    : command_line_(std::move(command_line)) {}

CPelmarBasedProcess::~CPelmarBasedProcess() {
  if (!IsStarted()) return;
  if (wait_on_destroy_) ::WaitForSingleObject(native_->process, INFINITE);
  ::CloseHandle(native_->process);
  ::CloseHandle(native_->thread);
}

bool CPelmarBasedProcess::IsStarted() const { return native_ && native_->process != nullptr; }

bool CPelmarBasedProcess::Start() {
  if (IsStarted()) return true;
  STARTUPINFOW startup;
  ::GetStartupInfoW(&startup);
  startup.dwFlags |= STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  // CreateProcessW may write into the command line, so it gets its own copy.
  std::vector<wchar_t> command(command_line_.begin(), command_line_.end());
  command.push_back(L'\0');
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
    return false;
  native_.reset(new Native{info.hProcess, info.hThread});
  return true;
}

bool CPelmarBasedProcess::Wait(uint32_t timeout_ms) {
  if (!IsStarted()) return false;
  return ::WaitForSingleObject(native_->process, timeout_ms) == WAIT_OBJECT_0;
}

bool CPelmarBasedProcess::GetExitCode(uint32_t* code) {
  if (!IsStarted() || !Wait(0)) return false;
  DWORD exit_code = 0;
  if (!::GetExitCodeProcess(native_->process, &exit_code)) return false;
  if (code) *code = exit_code;
  return true;
}

}  // namespace pelmar
