#pragma once

#include <string>
#include <string_view>

namespace pelmar {

// Paths and window texts are wide (UTF-16 on Windows, UTF-32 natively);
// HTTP texts, JSON and event values are UTF-8. Invalid sequences become U+FFFD.
std::string Utf8FromWide(std::wstring_view wide);
std::wstring WideFromUtf8(std::string_view utf8);

}  // namespace pelmar
