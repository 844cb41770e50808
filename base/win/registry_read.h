#pragma once

// Reading the registry: short string values and where an installed program
// lives. Windows files only.

#include <windows.h>

#include <string>

namespace pelmar::win {

// A registry string value (at most 520 bytes), empty on any failure. Read
// access only (see the note in the body). `view64` reads the 64-bit view,
// otherwise the product's (32-bit) view.
std::wstring RegistryString(HKEY root, const std::wstring& key, const std::wstring& value,
                            bool view64);

// The directory an uninstall entry names, without a trailing separator:
// "InstallLocation" under the user's and then the machine's hive, else the
// directory of "DisplayIcon" the same way. The 64-bit view on a 64-bit
// system. False when none gives one.
[[nodiscard]] bool UninstallEntryLocation(const std::wstring& entry_name, std::wstring* location);

}  // namespace pelmar::win
