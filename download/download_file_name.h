#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// Rules that decide what the downloaded setup program is called, how long it
// is, and whether a stored copy is new enough. Pure text work, so they are
// tested without a network.

// A server-chosen name is cut to this many bytes; longer names are not
// something our servers send and would only make the path unusable.
inline constexpr size_t kMaxServerFileNameBytes = 200;

// The name carried by the first header line containing "filename=": the text
// after it split at double quotes, the first non-empty piece. Only that first
// line is looked at. The name comes from the network, so it is reduced to a
// bare file name: everything up to the last "/" or "\\" is dropped, control
// and reserved characters (<>:"|?*) make it unusable, and "." or ".." are
// refused. Returns the narrow (ANSI code page) bytes, or empty.
std::string FileNameFromHeaderLines(const std::vector<std::string>& lines);

// The longest setup file name we store, in UTF-16 units: short of the classic
// path limit once the data folder is in front of it.
inline constexpr size_t kMaxSetupFileNameChars = 120;

// Whether a name may be the stored setup program's: a plain file name (no
// folder, device, reserved character or trailing dot or space) ending in
// ".exe", with something before it. So a server can never name "config.ini",
// a DLL the setup program would load from its folder, or our partial file.
[[nodiscard]] bool IsAcceptableSetupFileName(std::wstring_view name);

// The partial file a download is written to before it is verified: the final
// path with this suffix. Never an acceptable setup file name.
inline constexpr const wchar_t* kPartialFileSuffix = L".part";

// A package version goes into the stored file's name, so only dotted decimal
// versions are taken: 1 to kMaxVersionParts parts of 1 to kMaxVersionPartDigits
// digits ("2.1.0.5"). Anything else is no version (empty).
inline constexpr size_t kMaxVersionParts = 6;
inline constexpr size_t kMaxVersionPartDigits = 9;
std::string DottedVersionOrEmpty(std::string_view version);

// The installer's own program name turned into the stored file's name:
// directory dropped, every occurrence of the extension removed, "_install"
// added unless present, "_v" + version when a version is known, ".exe".
std::wstring InstallerDerivedFileName(std::wstring_view program_path, std::wstring_view version);

// Installers whose product version has four parts and a second part of 96 to
// 99 store the download under a fixed channel name; empty otherwise.
std::wstring FixedFileNameForVersion(std::wstring_view product_version);

// True when `a` has as many "."-separated parts as `b` (at least one) and no
// part of `a` is smaller than the same part of `b`. Component by component:
// "2.0" against "1.5" is false. The rule is VersionText::CoversEveryPartOf.
bool CompareVersions(std::wstring_view a, std::wstring_view b);

}  // namespace pelmar
