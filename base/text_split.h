#pragma once

#include <string_view>
#include <vector>

namespace pelmar {

// The pieces between separators, empty ones dropped ("a//b" gives "a", "b";
// "" gives none). The views point into `text`.
std::vector<std::string_view> SplitDroppingEmpty(std::string_view text, char separator);
std::vector<std::wstring_view> SplitDroppingEmpty(std::wstring_view text, wchar_t separator);

// Every piece between separators, empty ones kept ("a..b" gives "a", "", "b"),
// except that an empty text has no pieces at all (not one empty piece).
std::vector<std::string_view> SplitKeepingEmpty(std::string_view text, char separator);

}  // namespace pelmar
