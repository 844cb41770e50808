#include "base/windows_file_name.h"

#include <string>

namespace pelmar {
namespace {

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

bool IsPortDigit(wchar_t c) {
  // Windows also maps the superscript digits one to three to the ports.
  return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

bool IsReservedChar(wchar_t c) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case L'/':
    case L'\\':
    case L':':
    case L'*':
    case L'?':
    case L'"':
    case L'<':
    case L'>':
    case L'|':
      return true;
    default:
      return false;
  }
}

}  // namespace

bool IsWindowsDeviceName(std::wstring_view name) {
  // The device is named by the part before the first dot, without the
  // spaces Windows drops before an extension or at the end.
  std::wstring stem(name.substr(0, name.find(L'.')));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  for (wchar_t& c : stem) c = AsciiUpper(c);
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
         IsPortDigit(stem[3]);
}

bool IsPlainWindowsFileName(std::wstring_view name, size_t max_chars) {
  if (name.empty() || name.size() > max_chars) return false;
  if (name == L"." || name == L"..") return false;
  for (wchar_t c : name) {
    if (IsReservedChar(c)) return false;
  }
  const wchar_t last = name.back();
  if (last == L'.' || last == L' ') return false;
  return !IsWindowsDeviceName(name);
}

}  // namespace pelmar
