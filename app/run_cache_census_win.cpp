#include "app/run_cache_census.h"

#include <windows.h>

#include <vector>

#include "app/system_queries.h"
#include "base/file_system.h"
#include "base/win/scoped_handle.h"

namespace pelmar {

std::set<std::wstring> RunCacheDirectories() {
  std::set<std::wstring> found;
  std::vector<std::wstring> roots = AllVolumeMountPaths();
  roots.push_back(MakerDataDirectory());
  for (const auto& root : roots) {
    WIN32_FIND_DATAW entry;
    const win::ScopedFindHandle find(FindFirstFileW((root + L"PelmarPkg_*").c_str(), &entry));
    if (!find) continue;
    do {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) found.insert(root + entry.cFileName);
    } while (FindNextFileW(find.get(), &entry));
  }
  return found;
}

}  // namespace pelmar
