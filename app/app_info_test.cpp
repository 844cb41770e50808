#include "app/app_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/launch_rules.h"
#include "app/version_stamp.h"
#include "base/file_system.h"
#include "base/text_convert.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

// The version resource linked into this test program (app_tests_version.rc).
const wchar_t kOwnVersion[] = L"9.8.7.6";

// An uninstall entry of this test's own, in the view a 32-bit installer reads.
class UninstallEntry {
 public:
  explicit UninstallEntry(REGSAM view = KEY_WOW64_32KEY) : view_(view) {
    key_ = std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
           L"{pelmar-test-" + std::to_wstring(GetCurrentProcessId()) + L"}_is1";
  }
  ~UninstallEntry() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), view_, 0); }
  void SetIcon(const std::wstring& icon) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_WRITE | view_,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"DisplayIcon", 0, REG_SZ, reinterpret_cast<const BYTE*>(icon.c_str()),
                   static_cast<DWORD>((icon.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  const std::wstring& key() const { return key_; }

 private:
  REGSAM view_;
  std::wstring key_;
};

std::wstring CopyOfSelf(const testing::TempDir& dir, const std::wstring& name) {
  const std::wstring copy = dir.File(name);
  EXPECT_TRUE(CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
  return copy;
}

TEST(AppInfoTest, ProductVersionOfOwnModuleAndStampedCopies) {
  CAppInfo info(HKEY_LOCAL_MACHINE, L"SOFTWARE\\pelmar-test-no-such-key");
  EXPECT_EQ(info.ProductVersionOfFile(L""), kOwnVersion);
  EXPECT_EQ(info.ProductVersionOfFile(ModulePath()), kOwnVersion);

  testing::TempDir dir;
  const wchar_t* kVersions[] = {L"3.97.0.1", L"1.0.0.1", L"2.1", L"10.20.30.40", L"3.97.0"};
  for (const wchar_t* version : kVersions) {
    SCOPED_TRACE(Utf8FromWide(version));
    const std::wstring copy = CopyOfSelf(dir, L"install_\x6D4B\x8BD5 copy.exe");
    ASSERT_TRUE(StampProductVersion(copy, version));
    const std::wstring read = info.ProductVersionOfFile(copy);
    EXPECT_EQ(read, version);
    // The channel rule sees the stamped version.
    const std::string channel = ChannelFromVersion(Utf8FromWide(read), "fromname");
    EXPECT_EQ(channel, std::wstring(version) == L"3.97.0.1" ? "qihu3600" : "fromname");
  }
  // Files without version information, and missing files, give nothing.
  const std::wstring text = dir.File(L"plain.txt");
  std::ofstream(std::filesystem::u8path(Utf8FromWide(text))) << "no resources here";
  EXPECT_EQ(info.ProductVersionOfFile(text), L"");
  EXPECT_EQ(info.ProductVersionOfFile(dir.File(L"missing.exe")), L"");
}

TEST(AppInfoTest, InstalledProductFromUninstallEntry) {
  testing::TempDir dir;
  const std::wstring product = CopyOfSelf(dir, L"Morvantile \x00E9.exe");
  ASSERT_TRUE(StampProductVersion(product, L"2.1.0.5"));
  const std::wstring unversioned = dir.File(L"unversioned.exe");
  std::ofstream(std::filesystem::u8path(Utf8FromWide(unversioned))) << "x";

  const struct {
    const char* what;
    bool write;  // whether the entry exists
    std::wstring icon;
    std::wstring path;
    std::wstring version;
  } kCases[] = {
      {"no entry", false, L"", L"", L""},
      {"entry naming the product", true, product, product, L"2.1.0.5"},
      {"file deleted", true, dir.File(L"deleted.exe"), L"", L""},
      {"file without version", true, unversioned, unversioned, L""},
      {"empty value", true, L"", L"", L""},
      {"value longer than the buffer", true, product + std::wstring(600, L'x'), L"", L""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    UninstallEntry entry;
    if (c.write) entry.SetIcon(c.icon);
    CAppInfo info(HKEY_LOCAL_MACHINE, entry.key());
    EXPECT_EQ(info.InstalledProductPath(), c.path);
    EXPECT_EQ(info.InstalledProductVersion(), c.version);
  }
}

TEST(AppInfoTest, ReloadSeesAFreshInstallationAndThe32BitView) {
  testing::TempDir dir;
  const std::wstring product = CopyOfSelf(dir, L"Morvantile.exe");
  ASSERT_TRUE(StampProductVersion(product, L"4.0.0.0"));
  {
    // Only in the 64-bit view: a 32-bit installer does not see it.
    UninstallEntry entry64(KEY_WOW64_64KEY);
    entry64.SetIcon(product);
    CAppInfo info(HKEY_LOCAL_MACHINE, entry64.key());
    EXPECT_EQ(info.InstalledProductPath(), L"");
  }
  UninstallEntry entry;
  CAppInfo info(HKEY_LOCAL_MACHINE, entry.key());
  EXPECT_EQ(info.InstalledProductPath(), L"");
  entry.SetIcon(product);
  EXPECT_TRUE(info.Reload());
  EXPECT_EQ(info.InstalledProductPath(), product);
  EXPECT_EQ(info.InstalledProductVersion(), L"4.0.0.0");
}

TEST(AppInfoTest, InstanceReadsTheProductEntry) {
  CAppInfo* first = CAppInfo::Instance();
  EXPECT_EQ(CAppInfo::Instance(), first);
  EXPECT_EQ(first->ProductVersionOfFile(L""), kOwnVersion);
}

}  // namespace
}  // namespace pelmar
