#include "base/path_rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/text_convert.h"

namespace pelmar {
namespace {

TEST(PathRulesTest, InstallPathValidity) {
  const struct {
    const wchar_t* path;
    bool valid;
  } kCases[] = {
      {L"C:\\Program Files\\Pelmar\\Morvantile", true},
      {L"d:\\Games", true},
      {L"C:", true},    // the drive alone
      {L"C:\\", true},  // drive and one trailing backslash
      {L"D:\\Games\\", true},
      {L"E:\\\x5B89\x88C5\\\x00E9t\x00E9", true},  // non-ASCII names
      {L"C:\\a b\\ c ", true},
      {L"", false},
      {L"C:\\\\Games", false},  // doubled backslash
      {L"C:\\Games\\\\", false},
      {L"\\\\server\\share", false},
      {L"1:\\Games", false},   // digit for the drive letter
      {L"CC:\\Games", false},  // drive piece of three characters
      {L"C\\Games", false},    // no colon
      {L":C\\Games", false},   // colon first
      {L"\\Games", false},     // leading backslash
      {L"C:\\Ga|mes", false},  // vertical bar
      {L"C:\\a/b", false},
      {L"C:\\a:b", false},
      {L"C:\\a*", false},
      {L"C:\\a?", false},
      {L"C:\\\"a\"", false},
      {L"C:\\<a>", false},
      {L"C:\\a>", false},
      {L"C:/Games", false},        // slash is no separator here
      {L"\x00C4:\\Games", false},  // non-ASCII drive letter
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.path));
    EXPECT_EQ(IsValidInstallPath(c.path), c.valid);
  }
}

TEST(PathRulesTest, CanonicalInstallPath) {
  const struct {
    std::wstring path;
    const wchar_t* canonical;  // null: refused
  } kCases[] = {
      {L"C:\\Program Files\\Pelmar", L"C:\\Program Files\\Pelmar"},
      {L"D:\\Games\\", L"D:\\Games"},  // no trailing separator
      {L"D:", L"D:\\"},                // a drive alone is its root
      {L"D:\\", L"D:\\"},
      {L"C:\\a\\.\\b\\.", L"C:\\a\\b"},
      {L"C:\\a\\..", L"C:\\"},
      {L"C:\\Pelmar\\Morvantile\\..\\..\\Windows\\System32", L"C:\\Windows\\System32"},
      {L"C:\\a\\b\\..\\..\\c", L"C:\\c"},
      {L"C:\\..\\Windows", nullptr},  // above the drive
      {L"C:\\a\\..\\..", nullptr},
      {L"C:\\CON\\x", nullptr},  // device names, in any case and form
      {L"C:\\x\\nul", nullptr},
      {L"C:\\x\\com1.txt", nullptr},
      {L"C:\\x\\lpt\u00B9", nullptr},
      {L"C:\\Games.", nullptr},  // Windows would drop the dot and the space
      {L"C:\\Games \\x", nullptr},
      {L"C:\\...", nullptr},
      {L"C:\\a\tb", nullptr},  // control characters
      {std::wstring(L"C:\\a\0b", 6), nullptr},
      {L"C:\\" + std::wstring(kMaxPathComponentChars + 1, L'a'), nullptr},
      {L"C:/Games", nullptr},  // the shape IsValidInstallPath asks for
      {L"C:\\\\Games", nullptr},
      {L"\\\\server\\share", nullptr},
      {L"", nullptr},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.path));
    std::wstring out = L"untouched";
    EXPECT_EQ(CanonicalInstallPath(c.path, &out), c.canonical != nullptr);
    EXPECT_EQ(out, c.canonical ? c.canonical : L"untouched");
  }
  std::wstring longName;
  EXPECT_TRUE(
      CanonicalInstallPath(L"C:\\" + std::wstring(kMaxPathComponentChars, L'a'), &longName));
}

TEST(PathRulesTest, TrailingSeparator) {
  EXPECT_EQ(WithTrailingSeparator(L""), L"");
  EXPECT_EQ(WithTrailingSeparator(L"C:\\a"), L"C:\\a\\");
  EXPECT_EQ(WithTrailingSeparator(L"C:\\a\\"), L"C:\\a\\");
  EXPECT_EQ(WithTrailingSeparator(L"C:/a/"), L"C:/a/");
  EXPECT_EQ(WithTrailingSeparator(L"C:"), L"C:\\");
}

TEST(PathRulesTest, DirectoryAndNameOfFile) {
  const struct {
    const wchar_t* path;
    const wchar_t* dir;
    const wchar_t* name;
  } kCases[] = {
      {L"C:\\Program Files\\Morvantile\\Morvantile.exe", L"C:\\Program Files\\Morvantile\\",
       L"Morvantile.exe"},
      {L"C:\\x.exe", L"C:\\", L"x.exe"},
      {L"C:/a/b.txt", L"C:/a\\", L"b.txt"},
      {L"C:\\a\\", L"", L""},  // names no file
      {L"file.exe", L"", L"file.exe"},
      {L"", L"", L""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.path));
    EXPECT_EQ(DirectoryOfFile(c.path), c.dir);
    EXPECT_EQ(FileNameOf(c.path), c.name);
  }
}

TEST(PathRulesTest, PiecesAndVolumeRoot) {
  EXPECT_EQ(SplitPathPieces(L"C:\\a//b\\\\c\\"),
            (std::vector<std::wstring>{L"C:", L"a", L"b", L"c"}));
  EXPECT_TRUE(SplitPathPieces(L"\\/").empty());
  EXPECT_EQ(VolumeRootOf(L"C:\\Program Files\\x"), L"C:\\");
  EXPECT_EQ(VolumeRootOf(L"D:"), L"D:\\");
  EXPECT_EQ(VolumeRootOf(L""), L"");
}

TEST(PathRulesTest, MultiStringNeverReadsPastItsLength) {
  const wchar_t kList[] = L"C:\\\0D:\\mnt\\\0\0garbage";
  EXPECT_EQ(SplitMultiString(kList, sizeof kList / sizeof(wchar_t)),
            (std::vector<std::wstring>{L"C:\\", L"D:\\mnt\\"}));
  // Without the final terminators: every cut of the buffer yields a prefix.
  const wchar_t kCut[] = {L'C', L':', L'\\', 0, L'E', L':'};
  EXPECT_EQ(SplitMultiString(kCut, 6), (std::vector<std::wstring>{L"C:\\", L"E:"}));
  EXPECT_EQ(SplitMultiString(kCut, 2), (std::vector<std::wstring>{L"C:"}));
  EXPECT_TRUE(SplitMultiString(kCut, 0).empty());
  EXPECT_TRUE(SplitMultiString(nullptr, 10).empty());
}

// A reader that serves `list` (a multi-string with its terminators) the way
// the volume functions do, and counts its calls.
struct FakeListSource {
  std::wstring list;
  bool says_needed = true;   // whether "too small" reports the needed size
  bool always_more = false;  // a platform that never fits
  int calls = 0;

  ListReadStatus operator()(wchar_t* buffer, uint32_t capacity, uint32_t* needed) {
    ++calls;
    if (always_more || list.size() > capacity) {
      *needed = says_needed ? static_cast<uint32_t>(list.size()) : 0;
      return kListTooSmall;
    }
    std::copy(list.begin(), list.end(), buffer);
    return kListRead;
  }
};

TEST(PathRulesTest, GrowingListReadIsBounded) {
  const std::wstring two(L"C:\\\0D:\\\0\0", 9);
  std::wstring many;
  for (int i = 0; i < 200; ++i) many += L"C:\\mount" + std::to_wstring(i) + L"\\" + L'\0';
  many += L'\0';
  const struct {
    const char* what;
    FakeListSource source;
    size_t entries;
    int max_calls;
  } kCases[] = {
      {"fits at once", {two}, 2, 1},
      {"grows to the size asked for", {many}, 200, 2},
      {"grows by doubling without a size", {many, false}, 200, kMaxListReads},
      {"never fits: skipped, not stalled", {two, true, true}, 0, kMaxListReads},
  };
  for (auto c : kCases) {
    SCOPED_TRACE(c.what);
    int calls = 0;
    const auto entries = ReadGrowingMultiString(261, [&](wchar_t* b, uint32_t n, uint32_t* need) {
      ++calls;
      return c.source(b, n, need);
    });
    EXPECT_EQ(entries.size(), c.entries);
    EXPECT_LE(calls, c.max_calls);
    if (c.entries == 200) {
      EXPECT_EQ(entries[199], L"C:\\mount199\\");
    }
  }
  // A list longer than the largest buffer is skipped after the bounded reads.
  FakeListSource huge{std::wstring(kMaxListChars + 10, L'x')};
  int calls = 0;
  EXPECT_TRUE(ReadGrowingMultiString(261, [&](wchar_t* b, uint32_t n, uint32_t* need) {
                ++calls;
                return huge(b, n, need);
              }).empty());
  EXPECT_LE(calls, kMaxListReads);
}

}  // namespace
}  // namespace pelmar
