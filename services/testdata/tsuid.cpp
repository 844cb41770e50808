// A stand-in for the optional user-id library "TSUID.dll", for tests only: it
// is not part of the SDK archive. GetTSUID writes a fixed id, or with
// PELMAR_TSUID_FILL set fills the whole buffer without a terminator, so a
// test can show the caller never reads past it.
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllexport) int __cdecl GetTSUID(char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  char fill[8] = {};
  if (GetEnvironmentVariableA("PELMAR_TSUID_FILL", fill, sizeof fill) > 0) {
    std::memset(buffer, 'f', static_cast<size_t>(size));
    return size;
  }
  static const char kId[] = "5e0f1d2c3b4a59687766554433221100";
  const size_t n = std::strlen(kId) < static_cast<size_t>(size) - 1 ? std::strlen(kId)
                                                                    : static_cast<size_t>(size) - 1;
  std::memcpy(buffer, kId, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}
