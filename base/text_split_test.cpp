#include "base/text_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pelmar {
namespace {

using Pieces = std::vector<std::string_view>;

TEST(TextSplitTest, Table) {
  const struct {
    const char* text;
    Pieces dropping;
    Pieces keeping;
  } cases[] = {
      {"", {}, {}},  // an empty text has no pieces either way
      {"a", {"a"}, {"a"}},
      {"a.b", {"a", "b"}, {"a", "b"}},
      {"a..b", {"a", "b"}, {"a", "", "b"}},
      {".a.", {"a"}, {"", "a", ""}},
      {".", {}, {"", ""}},
      {"1.2.3.4", {"1", "2", "3", "4"}, {"1", "2", "3", "4"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SplitDroppingEmpty(c.text, '.'), c.dropping);
    EXPECT_EQ(SplitKeepingEmpty(c.text, '.'), c.keeping);
  }
}

TEST(TextSplitTest, WideDropsEmptyPiecesLikeNarrow) {
  const std::vector<std::wstring_view> want = {L"10", L"\u4e2d", L"3"};
  EXPECT_EQ(SplitDroppingEmpty(std::wstring_view(L".10..\u4e2d.3."), L'.'), want);
  EXPECT_TRUE(SplitDroppingEmpty(std::wstring_view(L"..."), L'.').empty());
}

TEST(TextSplitTest, PiecesPointIntoTheText) {
  const std::string text = "http://host:80/path";
  for (const std::string_view piece : SplitDroppingEmpty(text, '/')) {
    EXPECT_GE(piece.data(), text.data());
    EXPECT_LE(piece.data() + piece.size(), text.data() + text.size());
  }
}

}  // namespace
}  // namespace pelmar
