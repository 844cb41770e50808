#include "services/browser_choice.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "base/testing/recording_event_sink.h"
#include "base/text_convert.h"

namespace pelmar {
namespace {

constexpr int64_t kSaved = 1'700'000'000;  // the installer file's last write
constexpr wchar_t kUrl[] = L"http://localhost:18480/welcome?_channel=a&_mid=b";

struct ScriptedProcess {
  uint32_t pid;
  std::wstring name;
  int64_t created;
  std::wstring image;  // empty: cannot be read
  bool runnable = true;
};

// The evidence of one machine, as the table below states it.
struct Machine {
  std::wstring defaultCommand;
  std::set<std::wstring> files;
  bool ownFileReadable = true;
  std::wstring ownImage = L"C:\\Users\\u\\Downloads\\install.exe";
  std::map<std::wstring, std::wstring> uninstallLocations;
  std::vector<ScriptedProcess> processes;
  // Where a browser may live: the whole drive, unless a case says otherwise.
  std::vector<std::wstring> trusted = {L"C:\\"};
};

Machine M(std::wstring default_command = L"", std::set<std::wstring> files = {},
          std::wstring own_image = L"C:\\d\\install.exe",
          std::map<std::wstring, std::wstring> uninstall = {},
          std::vector<ScriptedProcess> processes = {}) {
  Machine m;
  m.defaultCommand = std::move(default_command);
  m.files = std::move(files);
  m.ownImage = std::move(own_image);
  m.uninstallLocations = std::move(uninstall);
  m.processes = std::move(processes);
  return m;
}

class ScriptedSystem : public IBrowserSystem {
 public:
  explicit ScriptedSystem(Machine machine) : m_(std::move(machine)) {}

  std::wstring DefaultBrowserCommand() override { return m_.defaultCommand; }
  bool IsRegularFile(const std::wstring& path) override { return m_.files.count(path) > 0; }
  bool OwnFileLastWrite(int64_t* seconds) override {
    *seconds = kSaved;
    return m_.ownFileReadable;
  }
  bool OwnImagePath(std::wstring* path) override {
    *path = m_.ownImage;
    return !path->empty();
  }
  bool UninstallLocation(const std::wstring& entry, std::wstring* folder) override {
    const auto it = m_.uninstallLocations.find(entry);
    if (it == m_.uninstallLocations.end()) return false;
    *folder = it->second;
    return true;
  }
  std::vector<RunningBrowser> RunningBrowsers() override {
    std::vector<RunningBrowser> out;
    for (const auto& p : m_.processes) out.push_back({p.pid, p.name});
    return out;
  }
  bool IsRunnable(uint32_t pid) override { return Find(pid) && Find(pid)->runnable; }
  bool CreationTime(uint32_t pid, int64_t* seconds) override {
    if (!Find(pid)) return false;
    *seconds = Find(pid)->created;
    return true;
  }
  bool ImagePath(uint32_t pid, std::wstring* path) override {
    if (!Find(pid) || Find(pid)->image.empty()) return false;
    *path = Find(pid)->image;
    return true;
  }
  std::vector<std::wstring> TrustedBrowserFolders() override { return m_.trusted; }
  bool ShellOpen(const std::wstring& file, const std::wstring& parameters) override {
    opened.push_back({file, parameters});
    return true;
  }

  std::vector<std::pair<std::wstring, std::wstring>> opened;

 private:
  const ScriptedProcess* Find(uint32_t pid) const {
    for (const auto& p : m_.processes) {
      if (p.pid == pid) return &p;
    }
    return nullptr;
  }
  Machine m_;
};

Machine Trusting(std::vector<std::wstring> folders, Machine m) {
  m.trusted = std::move(folders);
  return m;
}

const std::wstring kChrome = L"C:\\Chrome\\chrome.exe";
const std::wstring k360Chrome = L"C:\\360Chrome\\360chrome.exe";
const std::wstring kInSeFolder =
    L"C:\\Users\\u\\360\u5B89\u5168\u6D4F\u89C8\u5668\u4E0B\u8F7D\\install.exe";

struct ChoiceCase {
  const char* what;
  std::wstring launcher;
  Machine machine;
  std::wstring file;
  std::wstring parameters;
  int type;
  int censusCount;
  std::wstring censusNames;
};

std::vector<ChoiceCase> Cases() {
  const ScriptedProcess chrome{40, L"chrome.exe", kSaved - 60, kChrome};
  const ScriptedProcess chrome360{52, L"360chrome.exe", kSaved - 60, k360Chrome};
  return {
      {"launcher with a flag after chrome.exe", kChrome + L" --single-argument", M(L"", {kChrome}),
       kChrome, kUrl, kLaunchByLauncher, 0, L""},
      {"launcher that is gone falls through to the shell", L"C:\\gone\\chrome.exe --x", M(), kUrl,
       L"", kLaunchByShell, 0, L""},
      {"Edge broker launcher", L"C:\\Windows\\SystemApps\\browser_broker.exe", M(),
       std::wstring(L"microsoft-edge:") + kUrl, L"", kLaunchByLauncher, 0, L""},
      {"unknown launcher", L"C:\\Windows\\explorer.exe", M(L"", {L"C:\\Windows\\explorer.exe"}),
       kUrl, L"", kLaunchByShell, 0, L""},
      {"download folder of 360se with its entry", L"C:\\Windows\\explorer.exe",
       M(L"", {}, kInSeFolder, {{L"360se6", L"D:\\360se6\\Application\\"}}),
       L"D:\\360se6\\Application\\360se.exe", kUrl, kLaunchDownloadFolder, 0, L""},
      {"download folder without its entry goes on to running browsers", L"",
       M(L"", {}, kInSeFolder, {}, {chrome}), kChrome, kUrl, kLaunchRunningBrowser, 1,
       L"chrome.exe "},
      {"two running, neither default: the preferred one", L"",
       M(L"\"C:\\Firefox\\firefox.exe\" -osint -url \"%1\"", {}, L"C:\\d\\install.exe", {},
         {chrome, chrome360}),
       k360Chrome, kUrl, kLaunchRunningBrowser, 2, L"chrome.exe 360chrome.exe "},
      {"the default browser among the running ones wins", L"",
       M(L"\"C:\\Chrome\\chrome.exe\" -- \"%1\"", {}, L"C:\\d\\install.exe", {},
         {chrome360, {60, L"chrome.exe", kSaved - 5, L"C:\\other\\chrome.exe"}}),
       kChrome, kUrl, kLaunchRunningBrowser, 2, L"360chrome.exe chrome.exe "},
      {"running Edge with its launcher as default", L"",
       M(L"C:\\Windows\\LaunchWinApp.exe %1", {}, L"C:\\d\\install.exe", {},
         {{70, L"MicrosoftEdge.exe", kSaved - 5, L"C:\\Edge\\MicrosoftEdge.exe"}}),
       std::wstring(L"microsoft-edge:") + kUrl, L"", kLaunchRunningBrowser, 1,
       L"MicrosoftEdge.exe "},
      {"a browser started after the installer was saved does not count", L"",
       M(L"", {}, L"C:\\d\\install.exe", {},
         {{40, L"chrome.exe", kSaved, kChrome}, {41, L"firefox.exe", kSaved + 9, L"f"}}),
       kUrl, L"", kLaunchByShell, 0, L""},
      {"a suspended browser does not count", L"",
       M(L"", {}, L"C:\\d\\install.exe", {}, {{40, L"chrome.exe", kSaved - 60, kChrome, false}}),
       kUrl, L"", kLaunchByShell, 0, L""},
      {"same priority twice: the earlier process stays", L"",
       M(L"", {}, L"C:\\d\\install.exe", {},
         {{30, L"chrome.exe", kSaved - 60, L"C:\\first\\chrome.exe"},
          {31, L"chrome.exe", kSaved - 60, L"C:\\second\\chrome.exe"}}),
       L"C:\\first\\chrome.exe", kUrl, kLaunchRunningBrowser, 1, L"chrome.exe "},
      {"a browser whose image cannot be read does not count", L"",
       M(L"", {}, L"C:\\d\\install.exe", {}, {{40, L"chrome.exe", kSaved - 60, L""}}), kUrl, L"",
       kLaunchByShell, 0, L""},
      {"a browser-like name is no browser", L"",
       Trusting({L"C:\\Program Files"},
                M(L"", {}, L"C:\\d\\install.exe", {},
                  {{40, L"notchrome.exe", kSaved - 60, L"C:\\Program Files\\x\\notchrome.exe"}})),
       kUrl, L"", kLaunchByShell, 0, L""},
      {"a browser outside the trusted folders does not count", L"",
       Trusting({L"C:\\Program Files"},
                M(L"", {}, L"C:\\d\\install.exe", {},
                  {{40, L"chrome.exe", kSaved - 60, L"C:\\Users\\Public\\tools\\chrome.exe"},
                   {41, L"firefox.exe", kSaved - 60, L"C:\\Program Files\\Fox\\firefox.exe"}})),
       L"C:\\Program Files\\Fox\\firefox.exe", kUrl, kLaunchRunningBrowser, 1, L"firefox.exe "},
      {"even as the default browser's name", L"",
       Trusting({L"C:\\Program Files"},
                M(L"\"C:\\Program Files\\G\\chrome.exe\" -- \"%1\"", {}, L"C:\\d\\install.exe", {},
                  {{40, L"chrome.exe", kSaved - 60, L"C:\\Users\\Public\\chrome.exe"}})),
       kUrl, L"", kLaunchByShell, 0, L""},
      {"a launcher outside the trusted folders is passed over", L"C:\\Users\\Public\\chrome.exe",
       Trusting({L"C:\\Program Files"}, M(L"", {L"C:\\Users\\Public\\chrome.exe"})), kUrl, L"",
       kLaunchByShell, 0, L""},
      {"no browser at all: the shell", L"", M(), kUrl, L"", kLaunchByShell, 0, L""},
  };
}

class BrowserChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(BrowserChoiceTest, ChoosesReportsAndStarts) {
  const ChoiceCase& c = GetParam();
  ScriptedSystem system(c.machine);
  RecordingEventSink sink;
  const bool started = OpenUrlWith(kUrl, c.launcher, system, sink);
  EXPECT_EQ(started, !c.file.empty());
  if (c.file.empty()) {
    EXPECT_TRUE(system.opened.empty());
  } else {
    ASSERT_EQ(system.opened.size(), 1u);
    EXPECT_EQ(system.opened[0].first, c.file);
    EXPECT_EQ(system.opened[0].second, c.parameters);
  }
  const auto events = sink.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "vOpenUrl");
  EXPECT_EQ(events[0].ints.at("launch_app_type"), c.type);
  EXPECT_EQ(events[0].ints.at("browser_num"), c.censusCount);
  EXPECT_EQ(events[0].strings.at("browser_name"), Utf8FromWide(c.censusNames));
}

INSTANTIATE_TEST_SUITE_P(Evidence, BrowserChoiceTest, ::testing::ValuesIn(Cases()));

TEST(BrowserChoiceTest, UnreadableOwnFileOpensNothingAndReportsNothing) {
  Machine machine;
  machine.ownFileReadable = false;
  ScriptedSystem system(machine);
  RecordingEventSink sink;
  EXPECT_FALSE(OpenUrlWith(kUrl, kChrome, system, sink));
  EXPECT_TRUE(system.opened.empty());
  EXPECT_TRUE(sink.Events().empty());
}

TEST(BrowserChoiceTest, AddressesThatAreNotWebPagesAreRefused) {
  for (const wchar_t* url : {L"file:///C:/Windows/System32/calc.exe", L"C:\\x.exe", L"-incognito",
                             L"http://x/ --flag", L""}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(url)));
    Machine machine;
    machine.files = {kChrome};
    machine.processes = {{40, L"chrome.exe", kSaved - 60, kChrome}};
    ScriptedSystem system(machine);
    RecordingEventSink sink;
    EXPECT_FALSE(OpenUrlWith(url, kChrome, system, sink));
    EXPECT_TRUE(system.opened.empty());
    const auto events = sink.EventsNamed("vOpenUrl");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].ints.at("launch_app_type"), kLaunchByShell);
    EXPECT_EQ(events[0].ints.at("browser_num"), 0);
    EXPECT_EQ(events[0].strings.at("browser_name"), "");
  }
}

}  // namespace
}  // namespace pelmar
