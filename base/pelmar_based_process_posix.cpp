#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include "base/pelmar_based_process.h"
#include "base/text_convert.h"

extern char** environ;

namespace pelmar {

// Natively the command line runs through the shell; "hidden" has no meaning.
struct CPelmarBasedProcess::Native {
  pid_t pid = -1;
  bool ended = false;
  int status = 0;
};

CPelmarBasedProcess::CPelmarBasedProcess(std::wstring command_line)
    : command_line_(std::move(command_line)) {}

CPelmarBasedProcess::~CPelmarBasedProcess() {
  if (IsStarted() && wait_on_destroy_) Wait(kInfinite);
}

bool CPelmarBasedProcess::IsStarted() const { return native_ && native_->pid > 0; }

bool CPelmarBasedProcess::Start() {
  if (IsStarted()) return true;
  const std::string command = Utf8FromWide(command_line_);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
    return false;
  native_.reset(new Native);
  native_->pid = pid;
  return true;
}

bool CPelmarBasedProcess::Wait(uint32_t timeout_ms) {
  if (!IsStarted()) return false;
  if (native_->ended) return true;
  constexpr long kPollNs = 5 * 1000 * 1000;
  uint64_t waited_ns = 0;
  for (;;) {
    const int flags = timeout_ms == kInfinite ? 0 : WNOHANG;
    const pid_t r = ::waitpid(native_->pid, &native_->status, flags);
    if (r == native_->pid) {
      native_->ended = true;
      return true;
    }
    if (r < 0) return false;
    if (waited_ns >= static_cast<uint64_t>(timeout_ms) * 1000000ULL) return false;
    const timespec pause{0, kPollNs};
    ::nanosleep(&pause, nullptr);
    waited_ns += kPollNs;
  }
}

bool CPelmarBasedProcess::GetExitCode(uint32_t* code) {
  if (!IsStarted() || !Wait(0)) return false;
  if (code)
    *code = WIFEXITED(native_->status) ? static_cast<uint32_t>(WEXITSTATUS(native_->status))
                                       : 0xFFFFFFFF;
  return true;
}

}  // namespace pelmar
