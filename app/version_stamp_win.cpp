#include <windows.h>

#include "app/version_stamp.h"

namespace pelmar {

bool StampProductVersion(const std::wstring& exe_path, const std::wstring& version) {
  std::vector<uint8_t> block = BuildVersionResource(version);
  HANDLE update = BeginUpdateResourceW(exe_path.c_str(), FALSE);
  if (update == nullptr) return false;
  // A language-neutral version block would stand beside ours and win the
  // lookup; remove it (failing quietly when there is none).
  UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1),
                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), nullptr, 0);
  const bool written = UpdateResourceW(update, RT_VERSION, MAKEINTRESOURCEW(1),
                                       MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), block.data(),
                                       static_cast<DWORD>(block.size())) != FALSE;
  return EndUpdateResourceW(update, written ? FALSE : TRUE) != FALSE && written;
}

}  // namespace pelmar
