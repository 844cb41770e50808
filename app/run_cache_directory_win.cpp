#include "app/run_cache_directory.h"

#include <windows.h>

#include <ctime>

#include "app/system_queries.h"
#include "base/file_system.h"
#include "base/path_rules.h"

namespace pelmar {
namespace {
// Written only by the static set-up and clean-up, before and after every
// other thread of the process.
std::wstring g_run_cache;
}  // namespace

std::wstring RunCacheDirectory() { return g_run_cache; }

CRunCacheDirectory::CRunCacheDirectory() {
  const std::wstring root = BestVolumeRoot();
  if (root.empty()) return;
  const auto now = static_cast<long long>(std::time(nullptr));
  for (int i = 0; i < kMaxNameTries; ++i) {
    const std::wstring dir = root + L"PelmarPkg_" + std::to_wstring(now + i);
    // Two installers started in the same second must not share one: the one
    // that ends first would delete the other's skin. Only a directory this
    // process made is taken.
    if (CreateDirectoryW(dir.c_str(), nullptr)) {
      g_run_cache = WithTrailingSeparator(dir);
      return;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
    // A root whose parents are missing (the maker data directory fallback).
    if (CreateDirectories(dir)) g_run_cache = WithTrailingSeparator(dir);
    return;
  }
}

CRunCacheDirectory::~CRunCacheDirectory() {
  if (!g_run_cache.empty()) {
    // A file another process still holds (a virus scanner, the SDK's
    // uploader reading its archive) is deleted only when it lets go, and
    // until then the folder is not empty: try again for a short while.
    for (int attempt = 0; attempt < kMaxRemoveTries; ++attempt) {
      if (RemoveDirectoryTree(g_run_cache) || !DirectoryExists(g_run_cache)) break;
      Sleep(kRemoveRetryMs);
    }
  }
  g_run_cache.clear();
}

}  // namespace pelmar
