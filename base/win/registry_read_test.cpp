#include "base/win/registry_read.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text_convert.h"

namespace pelmar::win {
namespace {

// A registry key of this test's own under a root, removed afterwards.
class TestKey {
 public:
  TestKey(HKEY root, const std::wstring& path, REGSAM view)
      : root_(root), path_(path), view_(view) {}
  ~TestKey() { RegDeleteKeyExW(root_, path_.c_str(), view_, 0); }
  void Set(const std::wstring& name, const std::wstring& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_WRITE | view_, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }

 private:
  HKEY root_;
  std::wstring path_;
  REGSAM view_;
};

TEST(RegistryReadTest, RegistryStrings) {
  const std::wstring path = L"SOFTWARE\\pelmar-test-" + std::to_wstring(GetCurrentProcessId());
  TestKey key64(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY);
  key64.Set(L"short", L"C:\\Program Files\\\x6D4F\x89C8\x5668\\b.exe");
  key64.Set(L"fits", std::wstring(259, L'a'));  // 520 bytes with the terminator
  key64.Set(L"long", std::wstring(300, L'a'));  // more than the buffer
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, path, L"short", true),
            L"C:\\Program Files\\\x6D4F\x89C8\x5668\\b.exe");
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, path, L"fits", true), std::wstring(259, L'a'));
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, path, L"long", true), L"");
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, path, L"missing", true), L"");
  // Written in the 64-bit view only: the 32-bit view does not have it.
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, path, L"short", false), L"");
}

TEST(RegistryReadTest, UninstallEntryLocations) {
  const std::wstring base = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  const std::wstring pid = std::to_wstring(GetCurrentProcessId());
  const std::wstring user_entry = L"pelmar-test-user-" + pid;
  const std::wstring machine_entry = L"pelmar-test-machine-" + pid;
  const std::wstring icon_entry = L"pelmar-test-icon-" + pid;
  TestKey user(HKEY_CURRENT_USER, base + user_entry, KEY_WOW64_64KEY);
  TestKey user_also_machine(HKEY_LOCAL_MACHINE, base + user_entry, KEY_WOW64_64KEY);
  TestKey machine(HKEY_LOCAL_MACHINE, base + machine_entry, KEY_WOW64_64KEY);
  TestKey icon(HKEY_LOCAL_MACHINE, base + icon_entry, KEY_WOW64_64KEY);
  user.Set(L"InstallLocation", L"C:\\Users\\me\\App");
  user_also_machine.Set(L"InstallLocation", L"C:\\Machine\\App");  // the user's wins
  machine.Set(L"InstallLocation", L"D:\\\x5E94\x7528");
  machine.Set(L"DisplayIcon", L"D:\\ignored\\x.exe");
  icon.Set(L"DisplayIcon", L"\"C:\\Program Files\\Browser\\browser.exe\",0");

  const struct {
    std::wstring entry;
    bool found;
    const wchar_t* location;
  } kCases[] = {
      {user_entry, true, L"C:\\Users\\me\\App"},
      {machine_entry, true, L"D:\\\x5E94\x7528"},
      {icon_entry, true, L"C:\\Program Files\\Browser"},
      {L"pelmar-test-none-" + pid, false, L""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(Utf8FromWide(c.entry));
    std::wstring location;
    EXPECT_EQ(UninstallEntryLocation(c.entry, &location), c.found);
    EXPECT_EQ(location, c.location);
  }
}

}  // namespace
}  // namespace pelmar::win
