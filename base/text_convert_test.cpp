#include "base/text_convert.h"

#include <gtest/gtest.h>

namespace pelmar {
namespace {

struct RoundTrip {
  const char* name;
  std::string utf8;
  std::wstring wide;
};

class TextConvertRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(TextConvertRoundTrip, BothDirections) {
  const RoundTrip& c = GetParam();
  EXPECT_EQ(Utf8FromWide(c.wide), c.utf8);
  EXPECT_EQ(WideFromUtf8(c.utf8), c.wide);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TextConvertRoundTrip,
    ::testing::Values(RoundTrip{"empty", "", L""},
                      RoundTrip{"ascii", "install.exe", L"install.exe"},
                      // two- and three-byte sequences
                      RoundTrip{"latin", "caf\xC3\xA9", L"caf\u00e9"},
                      RoundTrip{"chinese", "\xE5\xAE\x89\xE8\xA3\x85\xE5\x99\xA8",
                                L"\u5b89\u88c5\u5668"},
                      // outside the basic plane: a surrogate pair in UTF-16
                      RoundTrip{"emoji", "\xF0\x9F\x98\x80", std::wstring(L"\U0001F600")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextConvert, InvalidUtf8BecomesReplacementWithoutReadingPast) {
  const struct {
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {"\xC3", L"\ufffd"},      // truncated two-byte sequence at the end
      {"\xE5\xAE", L"\ufffd"},  // truncated three-byte sequence
      {"\xFF"
       "a",
       L"\ufffd"
       L"a"},                           // byte that never starts a sequence
      {"\xC0\xAF", L"\ufffd"},          // overlong encoding of '/'
      {"\xED\xA0\x80", L"\ufffd"},      // encoded surrogate
      {"\xF4\x90\x80\x80", L"\ufffd"},  // above U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    EXPECT_EQ(WideFromUtf8(c.bytes), c.expected);
  }
}

TEST(TextConvert, LoneSurrogateInWideBecomesReplacement) {
  if (sizeof(wchar_t) != 2) GTEST_SKIP() << "surrogates only exist in UTF-16";
  std::wstring lone(1, static_cast<wchar_t>(0xD800));
  EXPECT_EQ(Utf8FromWide(lone), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace pelmar
