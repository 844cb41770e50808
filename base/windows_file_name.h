#pragma once

#include <cstddef>
#include <string_view>

namespace pelmar {

// Names that come from outside (a server's download name, an archive's entry
// names) become files in our folders. These checks say whether Windows would
// take such a name as the plain file it looks like.

// True when Windows opens a device, not a file, for this name: "CON", "PRN",
// "AUX", "NUL", "CONIN$", "CONOUT$", "COM0".."COM9", "LPT0".."LPT9" and the
// superscript forms "COM¹".."COM³", "LPT¹".."LPT³", in any case, with any
// extension ("nul.txt", "con.exe"), and with the trailing dots and spaces
// Windows drops ("nul. ", "con .exe").
[[nodiscard]] bool IsWindowsDeviceName(std::wstring_view name);

// True for a single plain file name: not empty, at most `max_chars` UTF-16
// units, no directory part, drive or stream (no "/", "\\", ":"), no control
// or reserved character (<>"|?*), not "." or "..", no trailing dot or space
// (Windows would drop them and name another file than the one checked), and
// not a device name.
[[nodiscard]] bool IsPlainWindowsFileName(std::wstring_view name, size_t max_chars);

}  // namespace pelmar
