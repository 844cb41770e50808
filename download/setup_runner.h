#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace pelmar {

// A started setup program, as the install run watches it. Destroying it
// waits without limit for a program still running (an installation must not
// be cut), unless it was abandoned.
class ISetupProcess {
 public:
  virtual ~ISetupProcess() = default;
  // False when the program could not be created at all.
  virtual bool Started() const = 0;
  // Waits up to `milliseconds`; true once the program has ended.
  [[nodiscard]] virtual bool Wait(uint32_t milliseconds) = 0;
  // The exit code once the program has ended; false otherwise.
  [[nodiscard]] virtual bool ExitCode(uint32_t* code) = 0;
  // Leaves the program running when this object goes.
  virtual void Abandon() = 0;
};

// Starts the setup program from a command line (hidden window, no inherited
// handles). The install run calls it while the downloaded file is still held
// as checked, so the process exists before anyone else may touch the file.
class ISetupRunner {
 public:
  virtual ~ISetupRunner() = default;
  // Never null: a program that cannot be created gives a process that says so.
  virtual std::unique_ptr<ISetupProcess> Launch(const std::wstring& commandLine) = 0;
};

}  // namespace pelmar
