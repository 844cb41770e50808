// The opener on a real Wine machine: fake browsers (copies of one small
// program under browsers' names that record their command line), started
// before or after the "installer file" was saved, the default browser and the
// shell's http handler set in the prefix's registry, and the uninstall entry
// of a browser whose download folder holds the installer.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "base/testing/recording_event_sink.h"
#include "base/testing/wait_until.h"
#include "base/text_convert.h"
#include "services/browser_choice.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

constexpr wchar_t kUrl[] = L"http://localhost:18480/welcome?_channel=ab&_mid=1&cam=2";
constexpr wchar_t kProgId[] = L"PelmarTestBrowser";
constexpr wchar_t kUserChoice[] =
    L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
constexpr wchar_t kSeDownloads[] = L"360\u5B89\u5168\u6D4F\u89C8\u5668\u4E0B\u8F7D";

// Sets one registry string for the life of the object, in both views, and
// puts back what was there (or removes the value).
class RegistryValueOverride {
 public:
  RegistryValueOverride(HKEY root, std::wstring key, std::wstring name, const std::wstring& value)
      : root_(root), key_(std::move(key)), name_(std::move(name)) {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY opened = nullptr;
      if (RegCreateKeyExW(root_, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                          &opened, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot create a registry key";
        continue;
      }
      Saved saved;
      wchar_t data[1024] = {};
      DWORD size = sizeof data - sizeof(wchar_t);
      saved.present = RegQueryValueExW(opened, name_.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS;
      saved.value = data;
      saved_[view] = saved;
      RegSetValueExW(opened, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(opened);
    }
  }
  ~RegistryValueOverride() {
    for (const auto& [view, saved] : saved_) {
      HKEY opened = nullptr;
      if (RegOpenKeyExW(root_, key_.c_str(), 0, KEY_ALL_ACCESS | view, &opened) != ERROR_SUCCESS) {
        continue;
      }
      if (saved.present) {
        RegSetValueExW(opened, name_.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(saved.value.c_str()),
                       static_cast<DWORD>((saved.value.size() + 1) * sizeof(wchar_t)));
      } else {
        RegDeleteValueW(opened, name_.c_str());
      }
      RegCloseKey(opened);
    }
  }

 private:
  struct Saved {
    bool present = false;
    std::wstring value;
  };
  HKEY root_;
  std::wstring key_;
  std::wstring name_;
  std::map<REGSAM, Saved> saved_;
};

// A key of our own, removed with everything under it afterwards.
class OwnRegistryKey {
 public:
  OwnRegistryKey(HKEY root, std::wstring key) : root_(root), key_(std::move(key)) {}
  ~OwnRegistryKey() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY parent = nullptr;
      if (RegOpenKeyExW(root_, nullptr, 0, KEY_ALL_ACCESS | view, &parent) == ERROR_SUCCESS) {
        SHDeleteKeyW(parent, key_.c_str());
        RegCloseKey(parent);
      }
    }
  }
  std::wstring Sub(const std::wstring& sub) const { return key_ + L"\\" + sub; }

 private:
  HKEY root_;
  std::wstring key_;
};

class RunningProgram {
 public:
  explicit RunningProgram(const std::wstring& exe) {
    std::wstring line = L"\"" + exe + L"\" --stay";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    EXPECT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info_));
    CloseHandle(info_.hThread);
    // Ready once the opener could see it: listed, runnable, its image known.
    const std::unique_ptr<IBrowserSystem> probe = CreateBrowserSystem(L"");
    std::wstring image;
    EXPECT_TRUE(pelmar::testing::WaitUntil([&] {
      return probe->IsRunnable(info_.dwProcessId) && probe->ImagePath(info_.dwProcessId, &image);
    })) << Utf8FromWide(exe);
  }
  ~RunningProgram() {
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hProcess);
  }
  DWORD pid() const { return info_.dwProcessId; }

 private:
  PROCESS_INFORMATION info_ = {};
};

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

enum Browser { kChrome, k360Chrome, k360Se, kFirefox, kShell, kEdge, kBrowserCount };
const wchar_t* const kExeNames[kBrowserCount] = {
    L"Chrome\\chrome.exe",   L"360Chrome\\360chrome.exe", L"360se6\\360se.exe",
    L"Firefox\\firefox.exe", L"Shell\\shellbrowser.exe",  L"Edge\\edgeprotocol.exe"};

class BrowserOpenerWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A browser counts only where another account cannot have put it: the
    // fake ones live in the user's local application data, as per-user
    // browsers do.
    wchar_t local[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, local)));
    browsers_ =
        std::wstring(local) + L"\\PelmarTestBrowsers_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(browsers_.c_str(), nullptr);
    for (int b = 0; b < kBrowserCount; ++b) {
      exe_[b] = browsers_ + L"\\" + kExeNames[b];
      CreateDirectoryW(exe_[b].substr(0, exe_[b].rfind(L'\\')).c_str(), nullptr);
      ASSERT_TRUE(CopyFileW(PELMAR_FAKE_BROWSER, exe_[b].c_str(), FALSE));
    }
    shell_ = std::make_unique<RegistryValueOverride>(
        HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", L"\"" + exe_[kShell] + L"\" \"%1\"");
    user_choice_ =
        std::make_unique<RegistryValueOverride>(HKEY_CURRENT_USER, kUserChoice, L"ProgId", kProgId);
    prog_id_ = std::make_unique<OwnRegistryKey>(HKEY_CLASSES_ROOT, kProgId);
    edge_ = std::make_unique<OwnRegistryKey>(HKEY_CLASSES_ROOT, L"microsoft-edge");
    edge_values_.push_back(std::make_unique<RegistryValueOverride>(
        HKEY_CLASSES_ROOT, L"microsoft-edge", L"URL Protocol", L""));
    edge_values_.push_back(std::make_unique<RegistryValueOverride>(
        HKEY_CLASSES_ROOT, L"microsoft-edge\\shell\\open\\command", L"",
        L"\"" + exe_[kEdge] + L"\" \"%1\""));
    se_entry_ = std::make_unique<OwnRegistryKey>(
        HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\360se6");
    se_location_ = std::make_unique<RegistryValueOverride>(
        HKEY_CURRENT_USER, se_entry_->Sub(L""), L"InstallLocation", browsers_ + L"\\360se6");
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(browsers_), ignored);
  }

  void SetDefaultBrowser(Browser b) {
    default_.reset();  // the earlier value goes back first
    default_ = std::make_unique<RegistryValueOverride>(HKEY_CLASSES_ROOT,
                                                       prog_id_->Sub(L"shell\\open\\command"), L"",
                                                       L"\"" + exe_[b] + L"\" -- \"%1\"");
  }

  // The installer file: saved an hour after (or before) the browsers started.
  std::wstring MakeInstallerFile(const std::wstring& folder, bool saved_after_browsers) {
    const std::wstring dir = dir_.Wide() + L"\\" + folder;
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring file = dir + L"\\install.exe";
    std::ofstream(file.c_str()) << "installer";
    HANDLE h = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t;
    t.LowPart = now.dwLowDateTime;
    t.HighPart = now.dwHighDateTime;
    const uint64_t hour = 3600ULL * 10000000ULL;
    t.QuadPart = saved_after_browsers ? t.QuadPart + hour : t.QuadPart - hour;
    FILETIME written = {t.LowPart, t.HighPart};
    EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &written));
    CloseHandle(h);
    return file;
  }

  // The command line the browser recorded, waiting for it to start.
  std::string Recorded(Browser b) {
    const std::wstring log = exe_[b] + L".log";
    std::string text;
    (void)pelmar::testing::WaitUntil([&] { return !(text = ReadAll(log)).empty(); },
                                     std::chrono::milliseconds(15000));
    return text;
  }
  std::vector<Browser> BrowsersThatRecorded() {
    std::vector<Browser> out;
    for (int b = 0; b < kBrowserCount; ++b) {
      if (GetFileAttributesW((exe_[b] + L".log").c_str()) != INVALID_FILE_ATTRIBUTES) {
        out.push_back(static_cast<Browser>(b));
      }
    }
    return out;
  }

  testing::TempDir dir_;
  std::wstring browsers_;
  std::wstring exe_[kBrowserCount];
  std::unique_ptr<RegistryValueOverride> shell_, user_choice_, default_, se_location_;
  std::unique_ptr<OwnRegistryKey> prog_id_, edge_, se_entry_;
  std::vector<std::unique_ptr<RegistryValueOverride>> edge_values_;
};

struct OpenCase {
  const char* what;
  int launcher;  // -1 none, else a Browser whose path (with a flag) launched the installer
  bool edgeBroker;
  const wchar_t* folder;
  std::vector<Browser> running;
  bool savedAfterBrowsers;
  Browser defaultBrowser;
  Browser expected;
  std::wstring expectedPrefix;  // before the URL in the recorded line
  int type;
};

TEST_F(BrowserOpenerWinTest, FakeBrowsersRecordTheChoice) {
  const OpenCase cases[] = {
      {"launcher: chrome.exe with a flag",
       kChrome,
       false,
       L"Downloads",
       {},
       true,
       kFirefox,
       kChrome,
       L"",
       kLaunchByLauncher},
      {"Edge broker launcher",
       -1,
       true,
       L"Downloads",
       {},
       true,
       kFirefox,
       kEdge,
       L"microsoft-edge:",
       kLaunchByLauncher},
      {"360se download folder with its entry",
       -1,
       false,
       kSeDownloads,
       {kChrome},
       true,
       kChrome,
       k360Se,
       L"",
       kLaunchDownloadFolder},
      {"two running, neither default",
       -1,
       false,
       L"Downloads",
       {kChrome, k360Chrome},
       true,
       kFirefox,
       k360Chrome,
       L"",
       kLaunchRunningBrowser},
      {"the running default browser",
       -1,
       false,
       L"Downloads",
       {k360Chrome, kChrome},
       true,
       kChrome,
       kChrome,
       L"",
       kLaunchRunningBrowser},
      {"browsers started after the installer was saved",
       -1,
       false,
       L"Downloads",
       {kChrome, k360Chrome},
       false,
       kChrome,
       kShell,
       L"",
       kLaunchByShell},
      {"no browser running: the shell",
       -1,
       false,
       L"Downloads",
       {},
       true,
       kChrome,
       kShell,
       L"",
       kLaunchByShell},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& exe : exe_) DeleteFileW((exe + L".log").c_str());
    SetDefaultBrowser(c.defaultBrowser);
    std::vector<std::unique_ptr<RunningProgram>> running;
    for (Browser b : c.running) running.push_back(std::make_unique<RunningProgram>(exe_[b]));
    const std::wstring installer = MakeInstallerFile(c.folder, c.savedAfterBrowsers);
    std::wstring launcher;
    if (c.launcher >= 0) launcher = exe_[c.launcher] + L" --from-launcher";
    if (c.edgeBroker) launcher = L"C:\\Windows\\SystemApps\\browser_broker.exe";

    std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(installer);
    RecordingEventSink sink;
    EXPECT_TRUE(OpenUrlWith(kUrl, launcher, *system, sink));

    const std::string line = Recorded(c.expected);
    EXPECT_NE(line.find(Utf8FromWide(c.expectedPrefix + kUrl)), std::string::npos) << line;
    EXPECT_EQ(BrowsersThatRecorded(), std::vector<Browser>{c.expected});

    std::wstring census;
    int count = 0;
    if (c.type == kLaunchRunningBrowser) {
      std::vector<std::pair<DWORD, Browser>> by_pid;
      for (size_t i = 0; i < running.size(); ++i)
        by_pid.push_back({running[i]->pid(), c.running[i]});
      std::sort(by_pid.begin(), by_pid.end());
      for (const auto& [pid, b] : by_pid) {
        census +=
            std::wstring(kExeNames[b]).substr(std::wstring(kExeNames[b]).find(L'\\') + 1) + L" ";
        ++count;
      }
    }
    const auto events = sink.EventsNamed("vOpenUrl");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].ints.at("launch_app_type"), c.type);
    EXPECT_EQ(events[0].ints.at("browser_num"), count);
    EXPECT_EQ(events[0].strings.at("browser_name"), Utf8FromWide(census));
  }
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST_F(BrowserOpenerWinTest, SuspendedOrMissingBrowserIsPassedOver) {
  std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(MakeInstallerFile(L"d", true));
  RunningProgram awake(exe_[k360Chrome]);
  EXPECT_TRUE(system->IsRunnable(awake.pid()));
  EXPECT_FALSE(system->IsRunnable(0xFFFFFFF0u));  // no such process

  std::wstring line = L"\"" + exe_[kChrome] + L"\" --stay";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                             nullptr, &startup, &info));
  const bool runnable = system->IsRunnable(info.dwProcessId);
  TerminateProcess(info.hProcess, 0);
  WaitForSingleObject(info.hProcess, 10000);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  // Wine's process list leaves every thread's state and wait reason at 0, so
  // a suspended process looks like any other there.
  if (RunningUnderWine()) GTEST_SKIP() << "Wine reports no thread wait reasons";
  EXPECT_FALSE(runnable);
}

// A "chrome.exe" another account put into a folder it can write (the
// scratch folder here), running since before the installer was saved, is no
// browser: nothing of it is chosen or counted, the shell gets the address.
TEST_F(BrowserOpenerWinTest, BrowserOutsideTheTrustedFoldersIsPassedOver) {
  SetDefaultBrowser(kFirefox);
  const std::wstring planted_dir = dir_.Wide() + L"\\Public\\tools";
  std::filesystem::create_directories(std::filesystem::path(planted_dir));
  const std::wstring planted = planted_dir + L"\\chrome.exe";
  const std::wstring renamed = planted_dir + L"\\notchrome.exe";
  ASSERT_TRUE(CopyFileW(PELMAR_FAKE_BROWSER, planted.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(PELMAR_FAKE_BROWSER, renamed.c_str(), FALSE));
  RunningProgram first(planted);
  RunningProgram second(renamed);
  std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(MakeInstallerFile(L"d", true));
  RecordingEventSink sink;
  EXPECT_TRUE(OpenUrlWith(kUrl, L"", *system, sink));
  const std::string line = Recorded(kShell);
  EXPECT_NE(line.find(Utf8FromWide(kUrl)), std::string::npos) << line;
  EXPECT_EQ(ReadAll(planted + L".log"), "");
  EXPECT_EQ(ReadAll(renamed + L".log"), "");
  const auto events = sink.EventsNamed("vOpenUrl");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].ints.at("launch_app_type"), kLaunchByShell);
  EXPECT_EQ(events[0].ints.at("browser_num"), 0);
}

TEST_F(BrowserOpenerWinTest, InstallerFileThatCannotBeReadOpensNothing) {
  std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(dir_.Wide() + L"\\missing.exe");
  RecordingEventSink sink;
  EXPECT_FALSE(OpenUrlWith(kUrl, L"", *system, sink));
  EXPECT_TRUE(sink.Events().empty());
  // Nothing may start: there is no event to wait for, only time in which a
  // wrongly started browser would have written its log (a wrong start ends
  // the wait at once).
  EXPECT_FALSE(pelmar::testing::WaitUntil([this] { return !BrowsersThatRecorded().empty(); },
                                          std::chrono::milliseconds(500)));
}

TEST_F(BrowserOpenerWinTest, RefusedAddressStartsNothing) {
  SetDefaultBrowser(kChrome);
  const std::wstring file_url = L"file:///" + exe_[kFirefox];
  std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(MakeInstallerFile(L"d", true));
  RecordingEventSink sink;
  EXPECT_FALSE(OpenUrlWith(file_url, exe_[kChrome], *system, sink));
  EXPECT_FALSE(OpenUrlWith(exe_[kFirefox], L"", *system, sink));
  // Nothing may start: there is no event to wait for, only time in which a
  // wrongly started browser would have written its log (a wrong start ends
  // the wait at once).
  EXPECT_FALSE(pelmar::testing::WaitUntil([this] { return !BrowsersThatRecorded().empty(); },
                                          std::chrono::milliseconds(500)));
  const auto events = sink.EventsNamed("vOpenUrl");
  ASSERT_EQ(events.size(), 2u);
  for (const auto& e : events) EXPECT_EQ(e.ints.at("launch_app_type"), kLaunchByShell);
}

}  // namespace
}  // namespace pelmar
