#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pelmar {

// A version resource (VS_VERSIONINFO) holding FileVersion and ProductVersion
// for US English, Unicode (040904b0), as the resource compiler lays it out.
std::vector<uint8_t> BuildVersionResource(const std::wstring& version);

// Writes that resource into an executable in place of its US English one.
// Used by tests and run scripts to make copies of the installer that carry
// another product version (the channel rules read it).
[[nodiscard]] bool StampProductVersion(const std::wstring& exe_path, const std::wstring& version);

}  // namespace pelmar
