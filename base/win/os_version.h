#pragma once

// What the installer asks about the operating system it runs on. Windows
// files only.

namespace pelmar::win {

// 0 XP, 1 Vista, 2 Windows 7, 3 Windows 7 with a service pack, 4 Windows 8 or
// 8.1, 5 Windows 10 or later, 6 anything else. Computed on the first call and
// cached without a lock: start-up asks on the user-interface thread first.
int OsVersionClass();

// OsVersionClass() == 0: the system that needs the older font and the older
// way of finding the default browser.
bool IsWindowsXp();

// Whether the system is 64-bit (x64 or Itanium), whichever build asks.
bool IsOs64Bit();

}  // namespace pelmar::win
