#pragma once

#include <string>

namespace pelmar::demo {

// Turns the "/DIR=" value into the directory the product goes into: an
// absolute drive path ("C:\..." or "C:/..."), with "." and ".." resolved
// first so the result never lies outside what the text names, separators
// made single backslashes, no trailing separator except on a drive root.
// Empty when the value is empty, relative ("dir", "\dir", "C:dir"), climbs
// above its drive root, or holds characters no Windows path may hold.
std::wstring ResolveInstallDirectory(const std::wstring& value);

}  // namespace pelmar::demo
