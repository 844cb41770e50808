#include <windows.h>

#include "base/profile_file.h"
#include "base/win/scoped_handle.h"

namespace pelmar {

std::wstring ProfileFile::Read(const std::wstring& section, const std::wstring& key) const {
  wchar_t buffer[kMaxValueChars + 1] = {};
  const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer,
                                           kMaxValueChars + 1, path_.c_str());
  return std::wstring(buffer, n);
}

bool ProfileFile::Write(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) const {
  // The profile functions create a missing file in the ANSI code page, which
  // loses every character outside it (a launching program under a Chinese
  // folder name on an English system). A file that starts with a UTF-16
  // byte-order mark is kept in UTF-16 by them, so start it that way.
  {
    // Closed before the profile functions open the file (it is not shared).
    win::ScopedHandle file(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      static const unsigned char kBom[2] = {0xFF, 0xFE};
      DWORD written = 0;
      WriteFile(file.get(), kBom, sizeof kBom, &written, nullptr);
    }
  }
  return WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path_.c_str()) !=
         FALSE;
}

}  // namespace pelmar
