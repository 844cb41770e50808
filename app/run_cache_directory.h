#pragma once

#include <string>

namespace pelmar {

// The per-run cache directory ("PelmarPkg_" and 16 random hexadecimal digits,
// on the best volume, open to the signed-in user and the administrators
// only): the skin is unpacked there. Empty when none could be made, and
// outside the installer process.
std::wstring RunCacheDirectory();

// Creates the run cache directory and removes it with everything in it when
// destroyed. The installer holds one as a static object, so it exists before
// the process entry runs and is gone after the process's last code.
class CRunCacheDirectory {
 public:
  CRunCacheDirectory();
  ~CRunCacheDirectory();
  CRunCacheDirectory(const CRunCacheDirectory&) = delete;
  CRunCacheDirectory& operator=(const CRunCacheDirectory&) = delete;

  // Tries this many random names when a directory of that name exists.
  static constexpr int kMaxNameTries = 16;
  // Removal attempts at exit, and the pause between them.
  static constexpr int kMaxRemoveTries = 20;
  static constexpr unsigned kRemoveRetryMs = 50;
};

}  // namespace pelmar
