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
// Deletes one file (not a directory); true when it is gone afterwards.
bool RemoveFile(const std::wstring& path);
// Renames `from` to `to` in the same folder, replacing a file already named
// `to`; false (and `from` untouched) when the system refuses.
bool RenameReplacing(const std::wstring& from, const std::wstring& to);
// Deletes every file and sub-directory, then the directory; the result of the
// last removal. Links are removed, never followed, the directory itself too:
// a link put in its place is removed and what it points to stays.
bool RemoveDirectoryTree(const std::wstring& path);

// Bytes available to the caller on the path's volume; 0 when unknown (and on
// Windows for drives that are neither removable nor fixed).
uint64_t FreeSpace(const std::wstring& path);

}  // namespace pelmar
