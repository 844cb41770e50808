#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

namespace pelmar {

// What start-up learns about this run before it reports the launch.
struct LaunchFacts {
  bool first_install = true;
  std::string soft_package_name;  // UTF-8
  std::string channel;            // UTF-8, at most 8 bytes
  std::string parent_app_name;    // UTF-8 file name of the launching program
  int64_t download_time = 0;      // seconds
};

// The process entry's work, from the single-instance check to the quit
// sequence. Returns the exit code, 0 on every path.
int RunInstaller(HINSTANCE instance);

// Start-up step: starts the socket library, starts the package and channel
// record readers, and creates the product data directory. Raises on failure;
// the caller absorbs it and goes on with the main window.
void StartServerInformation();

// The launch report and the quit records, in the order the analytics expect.
void SendLaunchReport(const LaunchFacts& facts);
void SendQuitRecords();

}  // namespace pelmar
