#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pelmar {

// Whether a volume has room for the package.
struct SpaceCheck {
  int64_t requiredBytes = 0;  // what the package needs
  uint64_t freeBytes = 0;     // what the volume has for this user
  bool roomy = false;         // required < free, strictly (a negative size counts as 0)
};

// The directory the product is installed into: one for the whole run. The
// main window makes it and hands it to the pages in their context; it sets
// the default, the custom page sets what the user chose, the progress page
// installs there. Whoever asks whether there is room asks here, so the
// flow, the custom page and the default location all judge alike.
// User-interface thread only.
class CInstallTarget {
 public:
  // The package's size (it may change once the package record arrives) and
  // the free bytes of the volume holding a path.
  using RequiredBytesQuery = std::function<int64_t()>;
  using FreeBytesQuery = std::function<uint64_t(const std::wstring& path)>;

  CInstallTarget(RequiredBytesQuery required, FreeBytesQuery freeBytes);

  const std::wstring& path() const { return path_; }
  void SetPath(std::wstring path) { path_ = std::move(path); }

  // The package against the volume of `path`, asked afresh each time.
  SpaceCheck CheckSpace(const std::wstring& path) const;
  // The same for the install directory itself.
  SpaceCheck CheckSpace() const { return CheckSpace(path_); }

 private:
  RequiredBytesQuery required_;
  FreeBytesQuery freeBytes_;
  std::wstring path_;
};

}  // namespace pelmar
