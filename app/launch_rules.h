#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar {

// The facts start-up derives from the installer's own file, as pure rules.

// Longest channel, in bytes of its UTF-8 text.
inline constexpr size_t kMaxChannelBytes = 8;

// The UTF-8 module path's last component without its last four characters
// (normally ".exe"). Empty without a backslash.
std::string SoftPackageNameFromPath(std::string_view module_path_utf8);

// The text after the name's first "_" (or after "_U"), cut to 8 bytes and
// never inside a UTF-8 character. Empty when there is no "_" or it is the
// last character.
std::string ChannelFromPackageName(std::string_view package_name);

// The channel fixed by a four-part product version whose second part is
// 96..99; otherwise `name_channel` unchanged.
std::string ChannelFromVersion(std::string_view product_version, std::string name_channel);

// Download time in seconds: last write minus creation when the last write is
// strictly later, else 0.
int64_t DownloadTimeFromTimes(int64_t creation, int64_t last_write);

// Whether an installed version against the offered package version means a
// reinstall: components are compared from the first over the count both have
// (text that is not a number counts as 0); an older or equal package is a
// reinstall, a newer one an upgrade; with nothing to compare (an empty
// installed version has no components) it is a reinstall. An empty package
// version is never one.
// The rule itself is VersionText::IsReinstallOver (base/version_text.h).
bool IsReinstallVersion(std::string_view package_version, std::string_view installed_version);

}  // namespace pelmar
