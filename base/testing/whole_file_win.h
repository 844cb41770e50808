#pragma once

// The bytes of a whole file, read through a handle that leaves every kind
// of sharing open (so reading never disturbs a hold under test). Header-only,
// for Windows tests and their helper programs.

#include <windows.h>

#include <string>

namespace pelmar::testing {

// Empty when the file cannot be opened.
inline std::string ReadWholeFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char piece[65536];
  DWORD got = 0;
  while (ReadFile(h, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
  CloseHandle(h);
  return bytes;
}

}  // namespace pelmar::testing
