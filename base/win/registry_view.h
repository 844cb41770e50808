#pragma once

// The product is a 32-bit program: its setup writes the uninstall entry into
// the registry's 32-bit view, and the installer reads it and its other
// machine keys there. Every open says so explicitly, so that the x86_64 build
// of the same sources (the test build) reads and writes the very same keys
// instead of relying on the redirection a 32-bit process gets for free.
// Windows files only.

#include <windows.h>

namespace pelmar::win {

constexpr REGSAM kProductRegistryView = KEY_WOW64_32KEY;

// Deletes `path` under `root` in the given view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY). On systems without views (32-bit XP) the one registry is
// meant, and the plain delete is used.
LONG DeleteRegistryKey(HKEY root, const wchar_t* path, REGSAM view);

}  // namespace pelmar::win
