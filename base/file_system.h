#pragma once

#include <cstdint>
#include <string>

namespace pelmar {

// File-system queries shared by both targets. None raises: failures give an
// empty text, 0 or false. Paths are wide; on Windows they use backslashes.

// The separator this platform's paths are built with ("\\" on Windows).
extern const wchar_t kPathSeparator;

// Full path of the running executable; empty on failure.
std::wstring ModulePath();

// The maker's data directory ("PelmarPkg" under the user's roaming
// application data), ending with a separator and created if missing; empty
// when the folder cannot be read. Cached after the first success.
std::wstring MakerDataDirectory();
// The product's data directory: the maker data directory and "MORVANTILE"
// with a trailing separator (not created here); empty when the former is.
std::wstring ProductDataDirectory();

bool FileExists(const std::wstring& path);       // exists and is not a directory
bool DirectoryExists(const std::wstring& path);  // exists and is a directory
// Creates every missing level; true when the directory exists afterwards.
bool CreateDirectories(const std::wstring& path);
// Deletes every file and sub-directory, then the directory; the result of the
// last removal. Links inside the tree are removed, never followed.
bool RemoveDirectoryTree(const std::wstring& path);

// Bytes available to the caller on the path's volume; 0 when unknown (and on
// Windows for drives that are neither removable nor fixed).
uint64_t FreeSpace(const std::wstring& path);

}  // namespace pelmar
