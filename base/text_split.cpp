#include "base/text_split.h"

namespace pelmar {
namespace {

template <typename Char>
std::vector<std::basic_string_view<Char>> SplitDropping(std::basic_string_view<Char> text,
                                                        Char separator) {
  std::vector<std::basic_string_view<Char>> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      if (i > start) pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pieces;
}

}  // namespace

std::vector<std::string_view> SplitDroppingEmpty(std::string_view text, char separator) {
  return SplitDropping(text, separator);
}

std::vector<std::wstring_view> SplitDroppingEmpty(std::wstring_view text, wchar_t separator) {
  return SplitDropping(text, separator);
}

std::vector<std::string_view> SplitKeepingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  for (;;) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      pieces.push_back(text.substr(start));
      return pieces;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

}  // namespace pelmar
