#include "download/download_file_name.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text_convert.h"

namespace pelmar {
namespace {

struct DispositionCase {
  const char* why;
  std::vector<std::string> lines;
  std::string name;
};

class FileNameFromHeaderLinesTest : public testing::TestWithParam<DispositionCase> {};

TEST_P(FileNameFromHeaderLinesTest, TakesTheFirstNamingLine) {
  const DispositionCase& c = GetParam();
  SCOPED_TRACE(c.why);
  EXPECT_EQ(FileNameFromHeaderLines(c.lines), c.name);
}

const DispositionCase kDispositionCases[] = {
    {"quoted name",
     {"HTTP/1.1 200 OK", "Content-Disposition: attachment; filename=\"setup.exe\""},
     "setup.exe"},
    {"unquoted name keeps what follows",
     {"HTTP/1.1 200 OK", "Content-Disposition: attachment; filename=a b.exe"},
     "a b.exe"},
    {"no naming line", {"HTTP/1.1 200 OK", "Content-Length: 5"}, ""},
    {"only the first naming line counts, even when empty",
     {"HTTP/1.1 200 OK", "X: filename=\"\"", "Content-Disposition: filename=\"late.exe\""},
     ""},
    {"empty quoted pieces are skipped", {"X: filename=\"\"\"n.exe\""}, "n.exe"},
    {"the name key may sit anywhere in a line", {"Anything filename=x.exe"}, "x.exe"},
    {"a directory part is dropped", {"C: filename=\"dir/sub/name.exe\""}, "name.exe"},
    {"backslash directories too", {"C: filename=\"..\\..\\evil.exe\""}, "evil.exe"},
    {"a trailing separator leaves nothing", {"C: filename=\"dir/\""}, ""},
    {"dot-dot is refused", {"C: filename=\"..\""}, ""},
    {"reserved characters are refused", {"C: filename=\"a:b.exe\""}, ""},
    {"control bytes are refused", {std::string("C: filename=a\x01.exe")}, ""},
    {"over-long names are refused", {"C: filename=" + std::string(201, 'a')}, ""},
    {"the longest accepted name", {"C: filename=" + std::string(200, 'a')}, std::string(200, 'a')},
    {"non-ASCII bytes pass through", {"C: filename=\"\xc4\xe3.exe\""}, "\xc4\xe3.exe"},
};
INSTANTIATE_TEST_SUITE_P(Cases, FileNameFromHeaderLinesTest, testing::ValuesIn(kDispositionCases));

TEST(InstallerDerivedFileNameTest, Table) {
  struct Case {
    const wchar_t* path;
    const wchar_t* version;
    const wchar_t* name;
  } cases[] = {
      {L"C:\\dl\\Morvantile_setup.exe", L"", L"Morvantile_setup_install.exe"},
      {L"C:\\dl\\Morvantile_setup.exe", L"3.2.1.7", L"Morvantile_setup_install_v3.2.1.7.exe"},
      // Already carrying "_install", no version: name without extension plus ".exe".
      {L"C:\\dl\\Morvantile_install.exe", L"", L"Morvantile_install.exe"},
      // "install_" without the leading underscore does not count.
      {L"C:\\dl\\install_huawei00.exe", L"", L"install_huawei00_install.exe"},
      // Every occurrence of the extension goes, not only the last.
      {L"C:\\dl\\a.exe.b.exe", L"", L"a.b_install.exe"},
      // A dot in a directory is not an extension.
      {L"C:\\v1.2\\setup", L"", L"setup_install.exe"},
      {L"/home/u/setup.bin", L"1", L"setup_install_v1.exe"},
      {L"setup", L"", L"setup_install.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " / " << c.version);
    EXPECT_EQ(InstallerDerivedFileName(c.path, c.version), c.name);
  }
}

TEST(FixedFileNameForVersionTest, Table) {
  struct Case {
    const wchar_t* version;
    const wchar_t* name;
  } cases[] = {
      {L"1.96.0.3", L"install_tengxun0.exe"},
      {L"1.97.0.3", L"install_qihu3600.exe"},
      {L"1.98.0.3", L"install_jinshan0.exe"},
      {L"1.99.0.3", L"install_huawei00.exe"},
      {L"1.95.0.3", L""},
      {L"1.100.0.3", L""},
      {L"1.99.0", L""},
      {L"1.99.0.3.4", L""},
      {L"", L""},
      {L"1..99.0.3", L"install_huawei00.exe"},  // empty pieces are dropped
      {L"1.x.0.3", L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.version);
    EXPECT_EQ(FixedFileNameForVersion(c.version), c.name);
  }
}

TEST(CompareVersionsTest, Table) {
  struct Case {
    const wchar_t* a;
    const wchar_t* b;
    bool result;
  } cases[] = {
      {L"1.2.3.4", L"1.2.3.4", true},
      {L"1.2.3.5", L"1.2.3.4", true},
      {L"2.0", L"1.5", false},  // component by component
      {L"1.2", L"1.2.0", false},
      {L"", L"", false},
      {L"1", L"", false},
      {L"10.0.0.0", L"9.9.9.9", false},
      {L"10.10.10.10", L"9.9.9.9", true},
      {L"1..2", L"1.2", true},  // empty pieces are dropped
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " vs " << c.b);
    EXPECT_EQ(CompareVersions(c.a, c.b), c.result);
  }
}

TEST(IsAcceptableSetupFileNameTest, Table) {
  const struct {
    const wchar_t* name;
    bool ok;
  } kCases[] = {
      {L"Morvantile_setup_install_v1.0.0.1.exe", true},
      {L"install_qihu3600.exe", true},
      {L"SETUP.EXE", true},
      {L"\u5b89\u88c5.exe", true},
      {L"PelmarPkg.exe", true},
      // Files the installer owns, or a setup program's folder would load.
      {L"config.ini", false},
      {L"version.dll", false},
      {L"setup.exe.part", false},
      {L"evil.scr", false},
      {L"noextension", false},
      {L".exe", false},
      // Device names and names Windows would change.
      {L"nul", false},
      {L"con.exe", false},
      {L"COM\u00B9.exe", false},
      {L"lpt3.exe", false},
      {L"setup.exe.", false},
      {L"setup.exe ", false},
      // Not a plain name.
      {L"..\\evil.exe", false},
      {L"a/b.exe", false},
      {L"C:evil.exe", false},
      {L"x.exe:stream.exe", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.name));
    EXPECT_EQ(IsAcceptableSetupFileName(c.name), c.ok);
  }
  EXPECT_TRUE(IsAcceptableSetupFileName(std::wstring(kMaxSetupFileNameChars - 4, L'a') + L".exe"));
  EXPECT_FALSE(IsAcceptableSetupFileName(std::wstring(kMaxSetupFileNameChars - 3, L'a') + L".exe"));
  EXPECT_FALSE(IsAcceptableSetupFileName(std::wstring(L"setup") + kPartialFileSuffix));
}

TEST(DottedVersionOrEmptyTest, Table) {
  const struct {
    const char* version;
    const char* kept;
  } kCases[] = {
      {"1.0.0.1", "1.0.0.1"},
      {"3", "3"},
      {"2.1", "2.1"},
      {"10.20.30.40.50.60", "10.20.30.40.50.60"},
      {"123456789.0", "123456789.0"},
      // A path, or anything that is not dotted decimal, is no version.
      {"\\..\\..\\..\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\x", ""},
      {"/../../../escaped/pwned", ""},
      {"1.0/../../x", ""},
      {"", ""},
      {".", ""},
      {"1.", ""},
      {".1", ""},
      {"1..2", ""},
      {"1.0 beta", ""},
      {"v1.0", ""},
      {"1.-2", ""},
      {"1.2.3.4.5.6.7", ""},  // too many parts
      {"1234567890.1", ""},   // a part too long
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(DottedVersionOrEmpty(c.version), c.kept);
  }
}

}  // namespace
}  // namespace pelmar
