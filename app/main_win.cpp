// The installer's process entry.
#include <windows.h>

#include "app/dll_search.h"
#include "app/run_cache_directory.h"
#include "app/startup.h"

namespace {

// The first code of the process that is ours: before any other static object
// is made, library loads are restricted to the system folder.
struct LibrarySearchFirst {
  LibrarySearchFirst() { (void)pelmar::RestrictLibrarySearchToSystem(); }
};
__attribute__((init_priority(101))) LibrarySearchFirst g_library_search_first;

// Made before the entry runs and removed after it returns, on every path.
pelmar::CRunCacheDirectory g_run_cache_directory;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return pelmar::RunInstaller(instance);
}
