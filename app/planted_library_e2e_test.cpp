// End to end, under Wine: DLLs named like the system libraries install.exe
// uses, dropped beside it in a Downloads folder, are never loaded.
// Usage: planted_library_e2e_test <install.exe> <Morvantile.exe> <planted DLL>
//
// Wine prefers its own libraries to one beside a program; told to prefer the
// one beside the program ("native,builtin", for these two programs only), it
// loads like Windows does. Morvantile.exe,
// which imports version.dll the usual way, shows that the planted copy is
// then loaded: the same setting for install.exe must load none of them.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/run_cache_census.h"
#include "app/single_instance.h"
#include "base/file_system.h"
#include "base/testing/wait_until.h"
#include "base/text_convert.h"
#include "pages/page_declaration.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

std::wstring g_installer, g_product, g_planted;

constexpr DWORD kStartLimitMs = 60000;
// How long the installer is watched for a late load once its window shows.
constexpr std::chrono::milliseconds kLateLoadWindow{2000};
// The two programs started from the Downloads folder.
const wchar_t* const kPrograms[] = {L"Morvantile.exe", L"install_huawei00.exe"};
// The libraries the installer uses that are not on the protected list
// (setupapi is protected on current Windows only).
const wchar_t* const kPlantedNames[] = {L"version.dll", L"winmm.dll",    L"iphlpapi.dll",
                                        L"winhttp.dll", L"setupapi.dll", L"dbghelp.dll"};
// Asked for beside the installer in its run. Not version.dll: Wine's own
// user32 imports it (Windows' does not), so under Wine any window program
// told to prefer the copy beside it loads that one; the import check
// (installer_imports_protected) covers it.
const wchar_t* const kInstallerNativeFirst[] = {L"winmm.dll", L"iphlpapi.dll", L"winhttp.dll",
                                                L"setupapi.dll", L"dbghelp.dll"};

class Process {
 public:
  ~Process() {
    if (info_.hProcess != nullptr) {
      TerminateProcess(info_.hProcess, 99);
      WaitForSingleObject(info_.hProcess, 10000);
      CloseHandle(info_.hThread);
      CloseHandle(info_.hProcess);
    }
  }
  bool Start(const std::wstring& exe, const std::wstring& folder) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    return CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &info_) != FALSE;
  }
  bool Ended(DWORD ms) const { return WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0; }

 private:
  PROCESS_INFORMATION info_ = {};
};

class PlantedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.Wide() + L"\\Downloads\\";
    ASSERT_TRUE(CreateDirectories(folder_));
    for (const wchar_t* name : kPlantedNames) {
      ASSERT_TRUE(CopyFileW(g_planted.c_str(), (folder_ + name).c_str(), FALSE));
    }
    for (const wchar_t* program : kPrograms) {
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, OverridesKey(program).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
                ERROR_SUCCESS);
      const bool installer = std::wstring(program) != L"Morvantile.exe";
      for (const wchar_t* name :
           installer ? std::vector<const wchar_t*>(std::begin(kInstallerNativeFirst),
                                                   std::end(kInstallerNativeFirst))
                     : std::vector<const wchar_t*>{L"version.dll"}) {
        std::wstring stem(name);
        stem.resize(stem.size() - 4);
        static const wchar_t kNativeFirst[] = L"native,builtin";
        RegSetValueExW(key, stem.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(kNativeFirst),
                       sizeof kNativeFirst);
      }
      RegCloseKey(key);
    }
  }
  void TearDown() override {
    for (const wchar_t* program : kPrograms) {
      RegDeleteKeyW(HKEY_CURRENT_USER, OverridesKey(program).c_str());
    }
  }
  static std::wstring OverridesKey(const wchar_t* program) {
    return std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\DllOverrides";
  }

  std::vector<std::wstring> Loaded() const {
    std::vector<std::wstring> loaded;
    for (const wchar_t* name : kPlantedNames) {
      if (FileExists(folder_ + name + L".loaded")) loaded.push_back(name);
    }
    return loaded;
  }

  testing::TempDir dir_;
  std::wstring folder_;
};

TEST_F(PlantedLibraryTest, APlainImporterLoadsThePlantedCopy) {
  const std::wstring product = folder_ + L"Morvantile.exe";
  ASSERT_TRUE(CopyFileW(g_product.c_str(), product.c_str(), FALSE));
  Process run;
  ASSERT_TRUE(run.Start(product, folder_));
  (void)testing::WaitUntil([&] { return !Loaded().empty(); },
                           std::chrono::milliseconds(kStartLimitMs));
  EXPECT_EQ(Loaded(), std::vector<std::wstring>{L"version.dll"});
}

TEST_F(PlantedLibraryTest, TheInstallerLoadsNoneOfThem) {
  const std::set<std::wstring> cachesBefore = RunCacheDirectories();
  const std::wstring installer = folder_ + L"install_huawei00.exe";
  ASSERT_TRUE(CopyFileW(g_installer.c_str(), installer.c_str(), FALSE));
  {
    Process run;
    ASSERT_TRUE(run.Start(installer, folder_));
    // Up to its main window every library it needs has been loaded.
    bool shown = false;
    (void)testing::WaitUntil(
        [&] {
          shown = FindFirstTopLevelWindowOfClass(kMainWindowClassName) != nullptr;
          return shown || run.Ended(0);
        },
        std::chrono::milliseconds(kStartLimitMs));
    EXPECT_TRUE(shown);
    // The progress page's timer and the proxy lookup load theirs later: a
    // little more time for anything started with the window, ended at once
    // by a planted copy that does get loaded.
    (void)testing::WaitUntil([&] { return !Loaded().empty(); }, kLateLoadWindow);
  }
  for (const std::wstring& name : Loaded()) ADD_FAILURE() << "loaded: " << Utf8FromWide(name);
  // The ended installer's run cache is not left behind for the other tests.
  for (const std::wstring& dir : RunCacheDirectories()) {
    if (cachesBefore.count(dir) == 0) (void)RemoveDirectoryTree(dir);
  }
}

}  // namespace
}  // namespace pelmar

int wmain(int argc, wchar_t** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (argc < 4) {
    fprintf(stderr, "usage: planted_library_e2e_test <install.exe> <Morvantile.exe> <dll>\n");
    return 2;
  }
  // ctest hands over host paths; Wine's Z: drive is the host's root.
  const auto windows_path = [](std::wstring path) {
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    return path;
  };
  pelmar::g_installer = windows_path(argv[1]);
  pelmar::g_product = windows_path(argv[2]);
  pelmar::g_planted = windows_path(argv[3]);
  return RUN_ALL_TESTS();
}
