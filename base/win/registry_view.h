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

}  // namespace pelmar::win
