#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelmar {

struct RunningBrowser {
  uint32_t pid;
  std::wstring name;  // executable file name
};

// The evidence the URL opener reads from the machine, and the one thing it
// does to it. Every query answers "not found" on failure and never throws.
class IBrowserSystem {
 public:
  virtual ~IBrowserSystem() = default;

  // The command of the user's default web browser ("" when none).
  virtual std::wstring DefaultBrowserCommand() = 0;
  virtual bool IsRegularFile(const std::wstring& path) = 0;
  // Last-write time of the installer's own file, in Unix seconds; false when
  // the file cannot be opened.
  [[nodiscard]] virtual bool OwnFileLastWrite(int64_t* unix_seconds) = 0;
  [[nodiscard]] virtual bool OwnImagePath(std::wstring* path) = 0;
  // The folder of an uninstall entry, with a trailing separator.
  [[nodiscard]] virtual bool UninstallLocation(const std::wstring& entry, std::wstring* folder) = 0;
  // Running processes whose executable name is a known browser, by process id.
  virtual std::vector<RunningBrowser> RunningBrowsers() = 0;
  // False for a process that is gone or whose first thread is suspended.
  virtual bool IsRunnable(uint32_t pid) = 0;
  [[nodiscard]] virtual bool CreationTime(uint32_t pid, int64_t* unix_seconds) = 0;
  [[nodiscard]] virtual bool ImagePath(uint32_t pid, std::wstring* path) = 0;
  // Where a browser's program may live for a process to count as one: the
  // program-files folders, the user's local application data and the
  // default browser's folder.
  virtual std::vector<std::wstring> TrustedBrowserFolders() = 0;
  // Starts `file` with `parameters` as the desktop user (never with the
  // installer's elevation); true when a program was started.
  virtual bool ShellOpen(const std::wstring& file, const std::wstring& parameters) = 0;
};

// Starts a file with parameters as the desktop user; true when started.
using StartAsUser = std::function<bool(const std::wstring& file, const std::wstring& parameters)>;

// This machine's evidence (Windows); the installer's own file and image are
// the running module unless `own_file` names another file (tests). The
// choice is started through `start` (the SDK's run-as-user path); without
// one, by the shell's "open" in this process (tests, which run unelevated).
std::unique_ptr<IBrowserSystem> CreateBrowserSystem(const std::wstring& own_file = L"",
                                                    StartAsUser start = nullptr);

}  // namespace pelmar
