#include "base/profile_file.h"

#include <gtest/gtest.h>

#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

// Both bodies (the platform's profile functions, the INI text natively)
// answer the same way.
TEST(ProfileFileTest, WritesAndReadsBack) {
  testing::TempDir dir;
  const ProfileFile file(dir.File(L"config.ini"));
  const struct {
    const wchar_t* key;
    std::wstring value;
    std::wstring read;  // what comes back
  } kCases[] = {
      {L"plain", L"abc", L"abc"},
      // Characters outside any ANSI code page survive: a new file is started
      // as UTF-16 so the platform keeps it in Unicode.
      {L"path", L"C:\\\x6D4F\x89C8\x5668 \x00E9\x0416\\b.exe",
       L"C:\\\x6D4F\x89C8\x5668 \x00E9\x0416\\b.exe"},
      {L"empty", L"", L""},
      {L"spaces", L"  inner  ", L"inner"},  // blanks around a value are not kept
      {L"long", std::wstring(1500, L'x'), std::wstring(ProfileFile::kMaxValueChars, L'x')},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.key));
    EXPECT_TRUE(file.Write(L"General", c.key, c.value));
  }
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.key));
    EXPECT_EQ(file.Read(L"General", c.key), c.read);
    EXPECT_EQ(file.Read(L"general", c.key), c.read);  // section names ignore case
  }
  EXPECT_EQ(file.Read(L"General", L"missing"), L"");
  EXPECT_EQ(file.Read(L"Other", L"plain"), L"");
  // Overwriting keeps one value.
  EXPECT_TRUE(file.Write(L"General", L"plain", L"def"));
  EXPECT_EQ(file.Read(L"General", L"plain"), L"def");
}

TEST(ProfileFileTest, MissingFileOrFolder) {
  testing::TempDir dir;
  const ProfileFile missing(dir.File(L"none.ini"));
  EXPECT_EQ(missing.Read(L"General", L"md5"), L"");
  const ProfileFile no_folder(dir.File(L"no folder") + testing::TempDir::kSeparator + L"c.ini");
  EXPECT_FALSE(no_folder.Write(L"General", L"md5", L"x"));
  EXPECT_EQ(no_folder.Read(L"General", L"md5"), L"");
}

}  // namespace
}  // namespace pelmar
