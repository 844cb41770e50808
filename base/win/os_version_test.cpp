#include "base/win/os_version.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace pelmar::win {
namespace {

TEST(OsVersionTest, ClassOfTheRunningSystem) {
  // The real version from the kernel, which no compatibility layer alters.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(get_version, nullptr);
  OSVERSIONINFOEXW v = {};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_EQ(get_version(&v), 0);
  int expected = 6;
  if (v.dwMajorVersion == 10) expected = 5;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion >= 2) expected = 4;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) expected = v.wServicePackMajor ? 3 : 2;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion == 0) expected = 1;
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) expected = 0;
  EXPECT_EQ(OsVersionClass(), expected);
  EXPECT_EQ(OsVersionClass(), expected);  // cached
  // The project's prefix is a 64-bit one, as on 64-bit Windows.
  EXPECT_TRUE(IsOs64Bit());
}

TEST(OsVersionTest, XpIsClassZero) { EXPECT_EQ(IsWindowsXp(), OsVersionClass() == 0); }

}  // namespace
}  // namespace pelmar::win
