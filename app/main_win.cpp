// The installer's process entry.
#include <windows.h>

#include "app/run_cache_directory.h"
#include "app/startup.h"

namespace {
// Made before the entry runs and removed after it returns, on every path.
pelmar::CRunCacheDirectory g_run_cache_directory;
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return pelmar::RunInstaller(instance);
}
