// The demo setup program run as the installer runs it (exact command lines
// through CreateProcess), observed through the files it writes and the
// uninstall entry in the registry of the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "demo/setup_exit_codes.h"
#include "demo/uninstall_entry.h"

namespace pelmar::demo {
namespace {

namespace fs = std::filesystem;

const wchar_t* const kValueNames[] = {L"DisplayIcon", L"DisplayName", L"DisplayVersion",
                                      L"InstallLocation", L"Publisher"};

using Entry = std::map<std::wstring, std::wstring>;  // empty: no entry

struct RegKey {
  HKEY key = nullptr;
  ~RegKey() {
    if (key != nullptr) RegCloseKey(key);
  }
};

// The entry as the 32-bit installer sees it: HKLM, 32-bit view.
Entry ReadEntry() {
  Entry entry;
  RegKey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY, &key.key) !=
      ERROR_SUCCESS) {
    return entry;
  }
  for (const wchar_t* name : kValueNames) {
    wchar_t data[1024] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key.key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) ==
        ERROR_SUCCESS) {
      entry[name] = data;
    }
  }
  if (entry.empty()) entry[L"(key)"] = L"present";
  return entry;
}

void DeleteEntry() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_32KEY, 0); }

// The 64-bit view must not receive the entry: the installer would not find it.
bool EntryInSixtyFourBitView() {
  RegKey key;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY,
                       &key.key) == ERROR_SUCCESS;
}

std::wstring ProductVersion(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return L"";
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return L"";
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\StringFileInfo\\040904b0\\ProductVersion",
                      reinterpret_cast<void**>(&text), &length)) {
    return L"";
  }
  return text;
}

// Runs a command line exactly as given; returns the exit code, or -1.
int RunExact(const std::wstring& command_line) {
  std::vector<wchar_t> line(command_line.begin(), command_line.end());
  line.push_back(0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return -1;
  }
  CloseHandle(process.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// The installer's line for a setup file and a directory value.
std::wstring InstallerLine(const wchar_t* setup, const std::wstring& dir,
                           bool no_experience = false) {
  return std::wstring(L"\"") + setup + L"\" /SILENT /VERYSILENT /SP- /noicons " +
         (no_experience ? L"-noexperience " : L"") + L"-nowelcome /DIR=\"" + dir + L"\"";
}

class SetupProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    root_ = fs::temp_directory_path() / (L"demo setup \u6D4B\u8BD5 " + std::to_wstring(stamp) +
                                         L"_" + std::to_wstring(counter++));
    fs::create_directories(root_);
    DeleteEntry();
  }
  void TearDown() override {
    DeleteEntry();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::wstring Dir(const std::wstring& name) const { return (root_ / name).wstring(); }

  fs::path root_;
};

TEST_F(SetupProgramTest, InstallsProductAndWritesEntry) {
  const std::wstring dir = Dir(L"Pelmar\\Morvantile");  // parents do not exist yet
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_SETUP, dir)), kExitInstalled);
  const std::wstring product = dir + L"\\Morvantile.exe";
  ASSERT_TRUE(fs::is_regular_file(product));
  EXPECT_EQ(ProductVersion(product), PELMAR_DEMO_VERSION_W);
  EXPECT_FALSE(fs::exists(product + L".new"));
  const Entry expected = {{L"DisplayIcon", product},
                          {L"DisplayName", L"Morvantile"},
                          {L"DisplayVersion", PELMAR_DEMO_VERSION_W},
                          {L"InstallLocation", dir + L"\\"},
                          {L"Publisher", L"Pelmar"}};
  EXPECT_EQ(ReadEntry(), expected);
  EXPECT_FALSE(EntryInSixtyFourBitView());
}

TEST_F(SetupProgramTest, ExperienceSwitchAndShellQuotingAreAccepted) {
  const std::wstring dir = Dir(L"with experience off");
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_SETUP, dir, true)), kExitInstalled);
  EXPECT_TRUE(fs::is_regular_file(dir + L"\\Morvantile.exe"));
  const std::wstring other = Dir(L"quoted whole");
  ASSERT_EQ(RunExact(std::wstring(L"\"") + PELMAR_DEMO_SETUP +
                     L"\" /SILENT /VERYSILENT /SP- /noicons -nowelcome \"/DIR=" + other + L"\""),
            kExitInstalled);
  EXPECT_EQ(ReadEntry()[L"InstallLocation"], other + L"\\");
}

TEST_F(SetupProgramTest, SecondRunUpgradesInPlace) {
  const std::wstring dir = Dir(L"Morvantile");
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_SETUP, dir)), kExitInstalled);
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_NEXT_SETUP, dir)), kExitInstalled);
  const std::wstring product = dir + L"\\Morvantile.exe";
  EXPECT_EQ(ProductVersion(product), PELMAR_DEMO_NEXT_VERSION_W);
  Entry entry = ReadEntry();
  EXPECT_EQ(entry[L"DisplayVersion"], PELMAR_DEMO_NEXT_VERSION_W);
  EXPECT_EQ(entry[L"DisplayIcon"], product);
  // The same version again is a repair: still exit 0, still one product file.
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_NEXT_SETUP, dir)), kExitInstalled);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SetupProgramTest, DotDotIsResolvedBeforeInstalling) {
  const std::wstring dir = Dir(L"a") + L"\\..\\b";
  ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_SETUP, dir)), kExitInstalled);
  EXPECT_TRUE(fs::is_regular_file(Dir(L"b") + L"\\Morvantile.exe"));
  EXPECT_FALSE(fs::exists(Dir(L"a")));
  EXPECT_EQ(ReadEntry()[L"InstallLocation"], Dir(L"b") + L"\\");
}

// Every refusal exits non-zero and leaves the entry exactly as it was: none
// on a clean machine, the earlier installation's otherwise.
TEST_F(SetupProgramTest, FailuresLeaveTheEntryAsItWas) {
  const std::wstring setup = std::wstring(L"\"") + PELMAR_DEMO_SETUP + L"\"";
  const std::wstring good = Dir(L"good");
  // A file where the directory should be; a folder where the product goes.
  const std::wstring file_dir = Dir(L"plain file");
  std::ofstream(fs::path(file_dir)) << "x";
  const std::wstring blocked = Dir(L"blocked");
  fs::create_directories(blocked + L"\\Morvantile.exe");
  // A read-only product file cannot be replaced.
  const std::wstring read_only = Dir(L"read only");
  fs::create_directories(read_only);
  std::ofstream(fs::path(read_only + L"\\Morvantile.exe")) << "old";
  ASSERT_TRUE(
      SetFileAttributesW((read_only + L"\\Morvantile.exe").c_str(), FILE_ATTRIBUTE_READONLY));

  const struct {
    const char* what;
    std::wstring line;
    int code;
  } cases[] = {
      {"no arguments", setup, kExitBadCommandLine},
      {"unknown switch",
       setup + L" /SILENT /VERYSILENT /SP- /noicons -nowelcome /TASKS=x /DIR=\"" + good + L"\"",
       kExitBadCommandLine},
      {"missing switch", setup + L" /SILENT /SP- /noicons -nowelcome /DIR=\"" + good + L"\"",
       kExitBadCommandLine},
      {"empty directory", setup + L" /SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=\"\"",
       kExitBadCommandLine},
      {"relative directory", InstallerLine(PELMAR_DEMO_SETUP, L"Morvantile"), kExitBadDirectory},
      {"above the drive root", InstallerLine(PELMAR_DEMO_SETUP, L"C:\\..\\Morvantile"),
       kExitBadDirectory},
      {"missing drive", InstallerLine(PELMAR_DEMO_SETUP, L"Q:\\Pelmar\\Morvantile"),
       kExitDirectoryNotWritable},
      {"directory is a file", InstallerLine(PELMAR_DEMO_SETUP, file_dir),
       kExitDirectoryNotWritable},
      {"product path is a folder", InstallerLine(PELMAR_DEMO_SETUP, blocked), kExitCopyFailed},
      {"read-only product file", InstallerLine(PELMAR_DEMO_SETUP, read_only), kExitCopyFailed},
  };
  ASSERT_EQ(GetFileAttributesW(L"Q:\\"), INVALID_FILE_ATTRIBUTES) << "the prefix maps drive Q:";
  for (bool installed_before : {false, true}) {
    DeleteEntry();
    if (installed_before) {
      ASSERT_EQ(RunExact(InstallerLine(PELMAR_DEMO_SETUP, good)), kExitInstalled);
    }
    const Entry before = ReadEntry();
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (installed_before ? " (over an installation)" : ""));
      EXPECT_EQ(RunExact(c.line), c.code);
      EXPECT_EQ(ReadEntry(), before);
    }
  }
  EXPECT_FALSE(fs::exists(Dir(L"good") + L"\\Morvantile.exe.new"));
  EXPECT_FALSE(fs::exists(read_only + L"\\Morvantile.exe.new"));
  std::ifstream old(fs::path(read_only + L"\\Morvantile.exe"));
  std::string content;
  old >> content;
  EXPECT_EQ(content, "old");
}

}  // namespace
}  // namespace pelmar::demo
