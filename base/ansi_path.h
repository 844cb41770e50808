#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// Conversions with the system code page (the ANSI code page on Windows,
// UTF-8 natively), for paths handed to or received from the SDK.
std::string AnsiFromWide(std::wstring_view wide);
std::wstring WideFromAnsi(std::string_view ansi);
// True when `path` names an existing file that is not a directory.
bool IsRegularFile(const std::wstring& path);

}  // namespace pelmar
