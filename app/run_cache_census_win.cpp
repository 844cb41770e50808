#include "app/run_cache_census.h"

#include <windows.h>

#include <vector>

#include "app/system_queries.h"
#include "base/file_system.h"

namespace pelmar {

std::set<std::wstring> RunCacheDirectories() {
  std::set<std::wstring> found;
  std::vector<std::wstring> roots = AllVolumeMountPaths();
  roots.push_back(MakerDataDirectory());
  for (const auto& root : roots) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((root + L"PelmarPkg_*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) continue;
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.insert(root + entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  return found;
}

}  // namespace pelmar
