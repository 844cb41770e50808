#include "app/system_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "base/file_system.h"
#include "base/path_rules.h"
#include "base/testing/recording_event_sink.h"
#include "base/text_convert.h"
#include "product_bitness.h"

namespace pelmar {
namespace {

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
  return s;
}

TEST(SystemQueriesTest, VolumesOfThePrefix) {
  const auto paths = AllVolumeMountPaths();
  ASSERT_FALSE(paths.empty());
  EXPECT_NE(std::find(paths.begin(), paths.end(), L"C:\\"), paths.end());
  for (const auto& p : paths) {
    SCOPED_TRACE(Utf8FromWide(p));
    EXPECT_EQ(p.back(), L'\\');
  }

  const std::wstring best = BestVolumeRoot();
  ASSERT_FALSE(best.empty());
  EXPECT_EQ(best.back(), L'\\');
  // The chosen root has the most room: every volume of the project's prefix
  // takes a folder (C: and the host's root as Z:). Free space moves while
  // other programs write, hence the margin.
  const uint64_t kMargin = uint64_t{1} << 30;
  const uint64_t best_free = FreeSpace(best);
  EXPECT_GT(best_free, 0u);
  uint64_t most = 0;
  for (const auto& p : paths) most = std::max(most, FreeSpace(p));
  EXPECT_LE(best_free, most + kMargin);
  EXPECT_GE(best_free + kMargin, most);
  // The probe folder does not stay behind.
  EXPECT_FALSE(DirectoryExists(best + L"PelmarPkg") && best != L"C:\\");
}

TEST(SystemQueriesTest, FreeSpaceByDriveType) {
  EXPECT_GT(FreeSpace(L"C:\\"), 0u);
  // Measured on the path's volume. Other programs write meanwhile, so the two
  // looks agree only within a margin.
  const uint64_t kMargin = uint64_t{1} << 30;
  const uint64_t in_dir = FreeSpace(L"C:\\Windows");
  const uint64_t at_root = FreeSpace(L"C:\\");
  EXPECT_LE(in_dir, at_root + kMargin);
  EXPECT_LE(at_root, in_dir + kMargin);
  // A letter no drive uses: unknown type, 0.
  std::wstring unused;
  const DWORD drives = GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y' && unused.empty(); ++letter) {
    if ((drives & (1u << (letter - L'A'))) == 0) unused = std::wstring(1, letter) + L":\\";
  }
  ASSERT_FALSE(unused.empty());
  EXPECT_EQ(FreeSpace(unused + L"dir"), 0u);
}

TEST(SystemQueriesTest, DefaultInstallLocation) {
  RecordingEventSink events;
  const std::wstring location = DefaultInstallLocation(0, &events);
  EXPECT_FALSE(location.empty());
  EXPECT_TRUE(DirectoryExists(location));
  // Where the 32-bit product goes, from either build.
  EXPECT_EQ(Lower(location), Lower(test::kProductProgramFiles))
      << Utf8FromWide(location) << " in the " << test::kBuildName;
  EXPECT_EQ(Lower(ProgramFilesFolder()), Lower(test::kProductProgramFiles));
  EXPECT_TRUE(events.Events().empty());

  // No volume has room for this: empty, and the failure is reported.
  EXPECT_EQ(DefaultInstallLocation(UINT64_MAX, &events), L"");
  const auto reported = events.Events();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].name, "vInstallPathError");
  EXPECT_EQ(
      reported[0].strings,
      (std::map<std::string, std::string>{{"error_status",
                                           "\xE6\x9C\x80\xE5\xA4\xA7\xE7\xA3\x81\xE7\x9B\x98"
                                           "\xE7\xA9\xBA\xE9\x97\xB4\xE4\xB8\x8D\xE8\xB6\xB3"}}));
  EXPECT_TRUE(reported[0].ints.empty());
  EXPECT_TRUE(reported[0].bools.empty());
}

TEST(SystemQueriesTest, OperatingSystem) {
  // The real version from the kernel, which no compatibility layer alters.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  const auto get_version = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(get_version, nullptr);
  OSVERSIONINFOEXW v = {};
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_EQ(get_version(&v), 0);
  int expected = 6;
  if (v.dwMajorVersion == 10) expected = 5;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion >= 2) expected = 4;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion == 1) expected = v.wServicePackMajor ? 3 : 2;
  if (v.dwMajorVersion == 6 && v.dwMinorVersion == 0) expected = 1;
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) expected = 0;
  EXPECT_EQ(OsVersionClass(), expected);
  EXPECT_EQ(OsVersionClass(), expected);  // cached
  // The project's prefix is a 64-bit one, as on 64-bit Windows.
  EXPECT_TRUE(IsOs64Bit());
}

TEST(SystemQueriesTest, Processes) {
  const std::wstring self = ModulePath();
  std::wstring image;
  ASSERT_TRUE(ProcessImagePath(GetCurrentProcessId(), &image));
  EXPECT_EQ(Lower(image), Lower(self));

  // A suspended child of ours: its parent is this process.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  std::wstring command = L"\"" + self + L"\" --gtest_list_tests";
  ASSERT_TRUE(CreateProcessW(self.c_str(), command.data(), nullptr, nullptr, FALSE,
                             CREATE_SUSPENDED, nullptr, nullptr, &startup, &child));
  DWORD parent = 0;
  EXPECT_TRUE(ParentProcessId(child.dwProcessId, &parent));
  EXPECT_EQ(parent, GetCurrentProcessId());
  std::wstring child_image;
  EXPECT_TRUE(ProcessImagePath(child.dwProcessId, &child_image));
  EXPECT_EQ(Lower(child_image), Lower(self));
  const std::wstring name = Lower(FileNameOf(self));
  const auto matching =
      ProcessesMatching([&](const std::wstring& exe) { return Lower(exe) == name; });
  const auto has = [&](DWORD pid) {
    return std::any_of(matching.begin(), matching.end(),
                       [&](const ProcessEntry& e) { return e.pid == pid; });
  };
  EXPECT_TRUE(has(GetCurrentProcessId()));
  EXPECT_TRUE(has(child.dwProcessId));
  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);

  EXPECT_FALSE(ParentProcessId(0xFFFFFFF0u, &parent));
  EXPECT_FALSE(ProcessImagePath(0xFFFFFFF0u, &image));
  std::function<bool(const std::wstring&)> never = [](const std::wstring&) { return false; };
  EXPECT_FALSE(never(L"rpcss.exe"));
  const auto none = ProcessesMatching([](const std::wstring&) { return false; });
  for (const auto& e : none) ADD_FAILURE() << e.pid << " " << Utf8FromWide(e.exe_name);
  for (const auto& e : none) ADD_FAILURE() << e.pid << " " << Utf8FromWide(e.exe_name);
}

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

TEST(SystemQueriesTest, RegistryStrings) {
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

TEST(SystemQueriesTest, UninstallEntryLocations) {
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

TEST(SystemQueriesTest, MountPathsOfUnknownVolume) {
  EXPECT_TRUE(VolumeMountPaths(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\").empty());
}

}  // namespace
}  // namespace pelmar
