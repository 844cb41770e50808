#include "demo/install_directory.h"

#include <vector>

namespace pelmar::demo {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Characters Windows refuses in a file name (the drive colon is checked apart).
bool IsForbidden(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*' ||
         c == L':';
}

}  // namespace

std::wstring ResolveInstallDirectory(const std::wstring& value) {
  if (value.size() < 3 || !IsDriveLetter(value[0]) || value[1] != L':' || !IsSeparator(value[2])) {
    return std::wstring();
  }
  std::vector<std::wstring> parts;
  std::wstring part;
  auto close_part = [&]() -> bool {
    if (part == L"..") {
      if (parts.empty()) return false;  // above the drive root
      parts.pop_back();
    } else if (!part.empty() && part != L".") {
      // Windows drops trailing dots and blanks from a name, so "a." and "a"
      // are the same folder, and "..." would silently become the parent.
      const wchar_t last = part.back();
      if (last == L'.' || last == L' ') return false;
      parts.push_back(part);
    }
    part.clear();
    return true;
  };
  for (size_t i = 3; i < value.size(); ++i) {
    const wchar_t c = value[i];
    if (IsSeparator(c)) {
      if (!close_part()) return std::wstring();
      continue;
    }
    if (IsForbidden(c)) return std::wstring();
    part.push_back(c);
  }
  if (!close_part()) return std::wstring();

  std::wstring resolved{value[0], L':', L'\\'};
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) resolved.push_back(L'\\');
    resolved += parts[i];
  }
  return resolved;
}

}  // namespace pelmar::demo
