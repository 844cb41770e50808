#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pelmar {

// The one archive extraction routine of the installer (the skin pictures and
// the service SDK both go through it).
//
// Every entry of the archive is written, in archive order, as a plain file
// directly into `destFolder` (no sub-folders are created) under its stored
// name converted from the system code page. The first failing entry stops the
// extraction. Results: 0 success, -1 failure. Failures: an empty argument,
// an archive that cannot be opened or has no entries, an entry name that
// would not land as a plain file inside the folder (directory parts, "..",
// "." , a drive, an absolute path, control characters), an entry of size 0 or
// above kMaxZipEntrySize, more than kMaxZipEntries entries, a damaged entry
// (CRC mismatch, size other than declared), a file that cannot be written.
// Files written before a failure stay.

// No archive the installer carries has more entries than this.
inline constexpr uint32_t kMaxZipEntries = 256;
// No carried file comes near this; a larger declared size is a damaged or
// hostile archive, refused before anything is written.
inline constexpr uint64_t kMaxZipEntrySize = 64ull * 1024 * 1024;

// `destFolder` with or without a trailing separator; `archivePath` a ZIP file.
[[nodiscard]] int ExtractZipFile(const std::wstring& destFolder, const std::wstring& archivePath);

// The same from an archive held in memory (for instance a locked resource).
[[nodiscard]] int ExtractZipBuffer(const std::wstring& destFolder, const void* data, size_t size);

// True when `name` (an entry's stored name) is a plain file name that stays
// inside the destination folder.
[[nodiscard]] bool IsSafeZipEntryName(const std::string& name);

}  // namespace pelmar
