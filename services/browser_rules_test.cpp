#include "services/browser_rules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace pelmar {
namespace {

// A name that contains an earlier name of its table is never found by a
// first-hit search: "360chrome.exe" must come before "chrome.exe".
template <typename Names>
void ExpectEveryNameReachable(const Names& names) {
  for (size_t i = 0; i < names.size(); ++i) {
    for (size_t j = i + 1; j < names.size(); ++j) {
      EXPECT_EQ(std::wstring(names[j]).find(names[i]), std::wstring::npos)
          << ::testing::PrintToString(std::wstring(names[j])) << " hides behind "
          << ::testing::PrintToString(std::wstring(names[i]));
    }
  }
}

TEST(BrowserRulesTest, EveryKnownBrowserIsFoundByItsOwnName) {
  std::vector<const wchar_t*> names;
  std::set<int> priorities;
  for (const KnownBrowser& browser : kKnownBrowsers) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(browser.executable)));
    EXPECT_EQ(BrowserPriority(browser.executable), browser.priority);
    EXPECT_TRUE(IsKnownBrowser(browser.executable));
    EXPECT_TRUE(IsKnownBrowserName(browser.executable));
    EXPECT_NE(browser.priority, kUnknownBrowserPriority);
    priorities.insert(browser.priority);
    names.push_back(browser.executable);
  }
  EXPECT_EQ(priorities.size(), kKnownBrowsers.size()) << "two browsers share a priority";
  ExpectEveryNameReachable(names);
}

TEST(BrowserRulesTest, FirstHitOfTheNameTableDecides) {
  const struct {
    const wchar_t* name;
    int priority;
  } cases[] = {
      {L"360chrome.exe", 1},  // before "chrome.exe", which it also contains
      {L"C:\\360\\360chrome.exe", 1},
      {L"chrome.exe", 3},
      {L"ChromeCore.exe", 4},  // not "chrome.exe": the test is case-sensitive
      {L"Chrome.exe", 99},     // case-sensitive
      {L"CHROME.EXE", 99},
      {L"chrome", 99},
      {L"browser_broker.exe", 99},  // counted in the census, but not a browser here
      {L"", 99},
      {L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe --flag", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.name)));
    EXPECT_EQ(BrowserPriority(c.name), c.priority);
    EXPECT_EQ(IsKnownBrowser(c.name), c.priority != kUnknownBrowserPriority);
  }
}

TEST(BrowserRulesTest, CensusCountsEachNameOnceInFirstHitOrder) {
  const struct {
    std::vector<const wchar_t*> processes;
    int count;
    const wchar_t* names;
  } cases[] = {
      {{}, 0, L""},
      {{L"chrome.exe", L"360chrome.exe"}, 2, L"chrome.exe 360chrome.exe "},
      // A second chrome.exe counts nothing; "360chrome.exe" takes its own slot.
      {{L"chrome.exe", L"chrome.exe", L"360chrome.exe", L"360chrome.exe"},
       2,
       L"chrome.exe 360chrome.exe "},
      {{L"MicrosoftEdge.exe", L"browser_broker.exe", L"LaunchWinApp.exe"},
       3,
       L"MicrosoftEdge.exe browser_broker.exe LaunchWinApp.exe "},
      {{L"Chrome.exe", L"notepad.exe"}, 0, L""},
  };
  for (const auto& c : cases) {
    BrowserCensus census;
    for (const wchar_t* p : c.processes) census.Add(p);
    EXPECT_EQ(census.count(), c.count);
    EXPECT_EQ(census.names(), c.names);
  }
  // Each census name can be the first hit of its own process name.
  ExpectEveryNameReachable(kBrowserCensusNames);
  for (const wchar_t* name : kBrowserCensusNames) {
    BrowserCensus census;
    census.Add(name);
    EXPECT_EQ(census.names(), std::wstring(name) + L" ");
  }
  // Every slot fits the fixed 20-character field.
  for (const wchar_t* name : kBrowserCensusNames) EXPECT_LT(std::wstring(name).size(), 20u);
}

TEST(BrowserRulesTest, DownloadFolderMarkersInTableOrder) {
  const struct {
    const wchar_t* path;
    const wchar_t* entry;  // null: no marker
    const wchar_t* exe;
  } cases[] = {
      {L"C:\\Users\\u\\360\u5B89\u5168\u6D4F\u89C8\u5668\u4E0B\u8F7D\\install.exe", L"360se6",
       L"360se.exe"},
      {L"D:\\360\u6781\u901F\u6D4F\u89C8\u5668\u4E0B\u8F7D\\install.exe", L"360Chrome",
       L"360chrome.exe"},
      {L"D:\\\u641C\u72D7\u9AD8\u901F\u4E0B\u8F7D\\install.exe", L"SogouExplorer",
       L"SogouExplorer.exe"},
      // Both: the table's first wins, whatever the path order.
      {L"D:\\360\u5B89\u5168\u6D4F\u89C8\u5668\u4E0B\u8F7D\\360\u6781\u901F\u6D4F\u89C8\u5668"
       L"\u4E0B\u8F7D\\i.exe",
       L"360Chrome", L"360chrome.exe"},
      {L"C:\\Users\\u\\Downloads\\install.exe", nullptr, nullptr},
  };
  for (const auto& c : cases) {
    const DownloadFolderMarker* marker = FindDownloadFolderMarker(c.path);
    if (c.entry == nullptr) {
      EXPECT_EQ(marker, nullptr);
      continue;
    }
    ASSERT_NE(marker, nullptr);
    EXPECT_STREQ(marker->uninstallEntry, c.entry);
    EXPECT_STREQ(marker->executable, c.exe);
  }
}

TEST(BrowserRulesTest, LaunchablePath) {
  const std::set<std::wstring> files = {
      L"C:\\Chrome\\chrome.exe",
      L"C:\\tools\\browser",
  };
  const auto is_file = [&](const std::wstring& p) { return files.count(p) > 0; };
  const struct {
    const wchar_t* path;
    const wchar_t* launchable;
  } cases[] = {
      // Extension exactly ".exe": taken as it is, existing or not.
      {L"C:\\Chrome\\chrome.exe", L"C:\\Chrome\\chrome.exe"},
      {L"C:\\gone\\chrome.exe", L"C:\\gone\\chrome.exe"},
      // A command line with a flag: cut after ".exe", used when that file exists.
      {L"C:\\Chrome\\chrome.exe --single-argument", L"C:\\Chrome\\chrome.exe"},
      {L"C:\\gone\\chrome.exe --single-argument", L""},
      // A folder named like an exe: the extension is the last name's.
      {L"C:\\chrome.exe\\tool", L""},
      {L"C:\\Chrome\\chrome.exe\\tool", L"C:\\Chrome\\chrome.exe"},
      // No ".exe" at all: the whole path must be a file.
      {L"C:\\tools\\browser", L"C:\\tools\\browser"},
      {L"C:\\tools\\other", L""},
      // ".EXE" is not ".exe".
      {L"C:\\Chrome\\CHROME.EXE", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.path)));
    EXPECT_EQ(LaunchablePath(c.path, is_file), c.launchable);
  }
}

TEST(BrowserRulesTest, DefaultBrowserCommandSplitting) {
  const struct {
    const wchar_t* command;
    const wchar_t* path;
  } cases[] = {
      {L"\"C:\\Program Files\\Google\\Chrome\\chrome.exe\" -- \"%1\"",
       L"C:\\Program Files\\Google\\Chrome\\chrome.exe"},
      {L"\"C:\\Program  Files\\x.exe\" %1", L"C:\\Program Files\\x.exe"},  // empty pieces dropped
      {L"C:\\Browsers\\firefox.exe -osint -url %1", L"C:\\Browsers\\firefox.exe"},
      {L"   C:\\b.exe", L"C:\\b.exe"},
      {L"\"C:\\a.exe\"", L"C:\\a.exe"},
      {L"\"C:\\never closed.exe %1", L"C:\\never closed.exe %1"},
      {L"\"", L""},
      {L"", L""},
      {L"    ", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.command)));
    EXPECT_EQ(DefaultBrowserPathFromCommand(c.command), c.path);
  }
}

// A running process is a browser only by its exact name and where its
// program lives: a "chrome.exe" another account dropped into a public folder,
// or a "notchrome.exe" anywhere, is not one.
TEST(BrowserRulesTest, TrustedBrowserImage) {
  const std::vector<std::wstring> trusted = {L"C:\\Program Files", L"C:\\Program Files (x86)\\",
                                             L"C:\\Users\\u\\AppData\\Local",
                                             L"D:\\Browsers\\Fox\\"};
  const struct {
    const wchar_t* image;
    bool trusted;
  } cases[] = {
      {L"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe", true},
      {L"c:\\program files (x86)\\360\\360se.exe", true},  // any case in the folder
      {L"C:\\Users\\u\\AppData\\Local\\Chromium\\chrome.exe", true},
      {L"D:\\Browsers\\Fox\\firefox.exe", true},  // the default browser's folder
      {L"C:\\Program Files\\chrome.exe", true},
      {L"C:\\Users\\Public\\tools\\notchrome.exe", false},
      {L"C:\\Program Files\\x\\notchrome.exe", false},  // not exactly a known name
      {L"C:\\Program Files\\x\\chrome.exe.bak", false},
      {L"C:\\Program Files\\x\\Chrome.exe", false},      // names are case-sensitive
      {L"C:\\Users\\Public\\tools\\chrome.exe", false},  // a folder anyone can write
      {L"C:\\Program Files Evil\\chrome.exe", false},    // whole components only
      {L"C:\\Program Files (x86)Evil\\chrome.exe", false},
      {L"C:\\Users\\u\\AppData\\LocalLow\\chrome.exe", false},
      {L"C:\\Program Files\\..\\Users\\Public\\chrome.exe", false},
      {L"C:\\Program Files\\.\\chrome.exe", false},
      {L"C:\\Program Files/x/chrome.exe", false},
      {L"chrome.exe", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.image)));
    EXPECT_EQ(IsTrustedBrowserImage(c.image, trusted), c.trusted);
  }
  EXPECT_FALSE(IsTrustedBrowserImage(L"C:\\Program Files\\chrome.exe", {}));
  EXPECT_FALSE(IsTrustedBrowserImage(L"C:\\Program Files\\chrome.exe", {L""}));
  EXPECT_TRUE(IsKnownBrowserName(L"360chrome.exe"));
  EXPECT_FALSE(IsKnownBrowserName(L"my360chrome.exe"));
  EXPECT_FALSE(IsKnownBrowserName(L"browser_broker.exe"));  // counted, never chosen
}

TEST(BrowserRulesTest, OnlyPlainWebAddressesAreOpened) {
  const struct {
    const wchar_t* url;
    bool openable;
  } cases[] = {
      {L"http://localhost:18480/welcome?_channel=&_mid=1", true},
      {L"HTTP://example.com/", true},
      {L"https://example.com/", false},  // the one address rule: plain http only
      {L"file://host/share/x.exe", false},
      {L"file:///C:/Windows/System32/calc.exe", false},
      {L"C:\\Windows\\System32\\calc.exe", false},
      {L"-incognito", false},
      {L"--renderer-cmd-prefix=calc http://x/", false},
      {L"http://x/ --renderer-cmd-prefix=calc", false},  // a second argument
      {L"http://x/\"a", false},
      {L"http://x/\ta", false},
      {L"javascript:alert(1)", false},
      {L"http://", false},
      {L"httpx://x/", false},
      {L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.url)));
    EXPECT_EQ(IsOpenableWebAddress(c.url), c.openable);
  }
}

}  // namespace
}  // namespace pelmar
