#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pelmar {

// A child process started from a command line with a hidden window.
// The destructor waits for it to end when wait-on-destroy is set (the default).
class CPelmarBasedProcess {
 public:
  explicit CPelmarBasedProcess(std::wstring command_line);
  virtual ~CPelmarBasedProcess();
  CPelmarBasedProcess(const CPelmarBasedProcess&) = delete;
  CPelmarBasedProcess& operator=(const CPelmarBasedProcess&) = delete;

  // True when the process runs (or ran) already or was started now.
  bool Start();
  // Waits up to timeout_ms (kInfinite: no limit); true when the process ended.
  bool Wait(uint32_t timeout_ms);
  // The exit code once the process ended; false while it runs or if never started.
  bool GetExitCode(uint32_t* code);
  bool IsStarted() const;
  void SetWaitOnDestroy(bool wait) { wait_on_destroy_ = wait; }
  const std::wstring& CommandLine() const { return command_line_; }

  static constexpr uint32_t kInfinite = 0xFFFFFFFF;

 private:
  struct Native;
  bool wait_on_destroy_ = true;
  std::unique_ptr<Native> native_;
  std::wstring command_line_;
};

}  // namespace pelmar
