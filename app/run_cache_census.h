#pragma once

#include <set>
#include <string>

namespace pelmar {

// Tests only: every run cache directory ("PelmarPkg_*") on every volume (the
// best one may change between two looks when volumes share free space) and
// in the fallback folder, as full paths.
std::set<std::wstring> RunCacheDirectories();

}  // namespace pelmar
