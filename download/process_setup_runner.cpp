#include "download/process_setup_runner.h"

#include "base/pelmar_based_process.h"

namespace pelmar {
namespace {

class CSetupProcess : public ISetupProcess {
 public:
  explicit CSetupProcess(const std::wstring& commandLine) : process_(commandLine) {
    // Success is judged by the exit code alone; a program that could not be
    // created shows as not started.
    (void)process_.Start();
  }
  bool Started() const override { return process_.IsStarted(); }
  bool Wait(uint32_t milliseconds) override { return process_.Wait(milliseconds); }
  bool ExitCode(uint32_t* code) override { return process_.GetExitCode(code); }
  void Abandon() override { process_.SetWaitOnDestroy(false); }

 private:
  CPelmarBasedProcess process_;
};

}  // namespace

std::unique_ptr<ISetupProcess> CProcessSetupRunner::Launch(const std::wstring& commandLine) {
  return std::make_unique<CSetupProcess>(commandLine);
}

}  // namespace pelmar
