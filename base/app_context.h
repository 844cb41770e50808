#pragma once

#include <atomic>
#include <string>

#include "base/network_settings.h"
#include "base/x_mutex.h"

namespace pelmar {

// The one process-wide record, created first by start-up and deleted at the
// end of the quit sequence. Every field is guarded by `mutex`: hold it for
// every read and write (std::lock_guard<CXMutex> lock(ctx->mutex)).
struct AppContext {
  CXMutex mutex;
  double displayScale = 1.0;  // written by every window sizing, read by widgets
  double dpiFactor = 1.0;     // computed once per process by the first window sized
  NetworkSettings network;
  std::string channel;  // UTF-8, at most 8 bytes
};

// The process's AppContext, or null before start-up created it / after quit.
AppContext* GetAppContext();
// Start-up creates it; the quit sequence deletes it. Tests may do the same.
AppContext* CreateAppContext();
void DeleteAppContext();

// Process-wide flags reported as event properties by several pages.
extern std::atomic<bool> is_first_install;  // true until start-up decides
extern std::atomic<bool> is_reinstall;      // false until the main window decides

}  // namespace pelmar
