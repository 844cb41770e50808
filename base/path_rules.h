#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// Pure rules about Windows path text, portable so they are tested natively.

// True for "X:" followed by backslash-separated plain names: no doubled
// backslash, a two-character drive piece with ":" that begins with an ASCII
// letter, no name holding \ / : * ? " < > |. A drive alone is valid, and so
// is one trailing backslash ("D:\\Games\\").
bool IsValidInstallPath(std::wstring_view path);

// Windows refuses longer single names.
inline constexpr size_t kMaxPathComponentChars = 255;

// The directory a typed or chosen install path really names, in the one form
// the installer shows and uses: the drive, then the components joined with
// single backslashes, "." dropped and ".." taking away the component before
// it, no trailing backslash (a drive alone is "X:\\"). The text must have
// the shape IsValidInstallPath accepts, hold no control character, not climb
// above its drive, and every component left must be a plain Windows file name
// (IsPlainWindowsFileName: no device name such as "CON", no trailing dot or
// space). False, with `canonical` untouched, otherwise.
[[nodiscard]] bool CanonicalInstallPath(std::wstring_view path, std::wstring* canonical);

// The path with a backslash appended unless it ends with "\\" or "/"; an
// empty path stays empty.
std::wstring WithTrailingSeparator(std::wstring_view path);

// The path without its last component, ending with a backslash; empty when
// the path holds no separator or names no file after its last separator.
std::wstring DirectoryOfFile(std::wstring_view path);

// The last component (after the last "\\" or "/"); the whole text without one.
std::wstring FileNameOf(std::wstring_view path);

// The pieces between "\\" and "/", empty pieces dropped.
std::vector<std::wstring> SplitPathPieces(std::wstring_view path);

// The volume root of a path: its first "\\" piece followed by a backslash
// ("C:\\dir" gives "C:\\"); empty for an empty path.
std::wstring VolumeRootOf(std::wstring_view path);

// The entries of a list of NUL-terminated strings ended by an empty one (the
// form volume and drive lists come in). Never reads past `length` characters,
// even when the final terminators are missing.
std::vector<std::wstring> SplitMultiString(const wchar_t* buffer, size_t length);

// Reads a list of strings through `read`, which fills a buffer of the given
// capacity and answers kListRead, kListTooSmall (with the capacity it needs,
// or 0 when it does not say) or kListFailed. The buffer grows at most
// kMaxListReads times, up to kMaxListChars; a list that still does not fit
// gives no entries, so a platform that keeps asking for more never stalls the
// caller (the volume is skipped).
enum ListReadStatus { kListRead, kListTooSmall, kListFailed };
inline constexpr int kMaxListReads = 8;
inline constexpr uint32_t kMaxListChars = 32768;
std::vector<std::wstring> ReadGrowingMultiString(
    uint32_t first_capacity,
    const std::function<ListReadStatus(wchar_t* buffer, uint32_t capacity, uint32_t* needed)>&
        read);

}  // namespace pelmar
