#include "services/browser_choice.h"

#include <algorithm>
#include <map>
#include <vector>

#include "base/event_sink.h"
#include "base/text_convert.h"
#include "services/browser_rules.h"

namespace pelmar {
namespace {

constexpr wchar_t kEdgeBroker[] = L"browser_broker.exe";
constexpr wchar_t kEdgeExecutable[] = L"MicrosoftEdge.exe";
constexpr wchar_t kEdgeLauncher[] = L"LaunchWinApp.exe";
constexpr wchar_t kEdgeProtocol[] = L"microsoft-edge:";

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

bool ChooseByLauncher(const std::wstring& url, const std::wstring& launcher, IBrowserSystem& system,
                      const std::vector<std::wstring>& trusted, BrowserChoice* choice) {
  if (launcher.empty()) return false;
  if (IsKnownBrowser(launcher)) {
    const std::wstring launchable =
        LaunchablePath(launcher, [&](const std::wstring& p) { return system.IsRegularFile(p); });
    // The launcher is a process too: a browser only by its name and its place.
    if (!launchable.empty() && IsTrustedBrowserImage(launchable, trusted)) {
      choice->file = launchable;
      choice->parameters = url;
      choice->type = kLaunchByLauncher;
      return true;
    }
  }
  if (Contains(launcher, kEdgeBroker)) {
    choice->file = kEdgeProtocol + url;
    choice->type = kLaunchByLauncher;
    return true;
  }
  return false;
}

bool ChooseByDownloadFolder(const std::wstring& url, IBrowserSystem& system,
                            BrowserChoice* choice) {
  std::wstring image;
  if (!system.OwnImagePath(&image)) return false;
  const DownloadFolderMarker* marker = FindDownloadFolderMarker(image);
  if (marker == nullptr) return false;
  std::wstring folder;
  if (!system.UninstallLocation(marker->uninstallEntry, &folder)) return false;
  choice->file = folder + marker->executable;
  choice->parameters = url;
  choice->type = kLaunchDownloadFolder;
  return true;
}

// A process another account could have started from a folder of its own, or
// one merely named like a browser, does not count.
bool IsTrustedRunningBrowser(IBrowserSystem& system, uint32_t pid,
                             const std::vector<std::wstring>& trusted) {
  std::wstring image;
  return system.ImagePath(pid, &image) && IsTrustedBrowserImage(image, trusted);
}

void ChooseRunningBrowser(const std::wstring& url, const std::wstring& default_path,
                          int64_t own_file_time, IBrowserSystem& system,
                          const std::vector<std::wstring>& trusted, BrowserChoice* choice) {
  BrowserCensus census;
  std::map<int, uint32_t> preferred;  // priority -> first process id with it
  bool chosen = false;
  std::vector<RunningBrowser> running = system.RunningBrowsers();
  std::sort(running.begin(), running.end(),
            [](const RunningBrowser& a, const RunningBrowser& b) { return a.pid < b.pid; });
  for (const RunningBrowser& browser : running) {
    int64_t created = 0;
    if (!system.IsRunnable(browser.pid) || !system.CreationTime(browser.pid, &created) ||
        created >= own_file_time || !IsTrustedRunningBrowser(system, browser.pid, trusted)) {
      continue;
    }
    if (!chosen) {
      if (Contains(default_path, browser.name)) {
        choice->file = default_path;
        choice->parameters = url;
        chosen = true;
      } else if (Contains(browser.name, kEdgeExecutable) && Contains(default_path, kEdgeLauncher)) {
        choice->file = kEdgeProtocol + url;
        choice->parameters.clear();
        chosen = true;
      }
    }
    preferred.emplace(BrowserPriority(browser.name), browser.pid);
    census.Add(browser.name);
  }
  choice->censusCount = census.count();
  choice->censusNames = census.names();
  if (chosen) {
    choice->type = kLaunchRunningBrowser;
  } else if (!preferred.empty()) {
    std::wstring image;
    // An unreadable image path leaves the file empty: nothing is started.
    if (system.ImagePath(preferred.begin()->second, &image)) choice->file = image;
    choice->parameters = url;
    choice->type = kLaunchRunningBrowser;
  } else {
    choice->file = url;
    choice->type = kLaunchByShell;
  }
}

}  // namespace

bool ChooseBrowser(const std::wstring& url, const std::wstring& launcher, IBrowserSystem& system,
                   BrowserChoice* choice) {
  *choice = BrowserChoice();
  const std::wstring default_path = DefaultBrowserPathFromCommand(system.DefaultBrowserCommand());
  int64_t own_file_time = 0;
  if (!system.OwnFileLastWrite(&own_file_time)) return false;
  const std::vector<std::wstring> trusted = system.TrustedBrowserFolders();
  if (ChooseByLauncher(url, launcher, system, trusted, choice)) return true;
  if (ChooseByDownloadFolder(url, system, choice)) return true;
  ChooseRunningBrowser(url, default_path, own_file_time, system, trusted, choice);
  return true;
}

bool OpenUrlWith(const std::wstring& url, const std::wstring& launcher, IBrowserSystem& system,
                 IEventSink& events) {
  BrowserChoice choice;
  if (IsOpenableWebAddress(url)) {
    if (!ChooseBrowser(url, launcher, system, &choice)) return false;
  }
  events.Send(Event("vOpenUrl")
                  .SetInt("launch_app_type", choice.type)
                  .SetInt("browser_num", choice.censusCount)
                  .SetString("browser_name", Utf8FromWide(choice.censusNames)));
  if (choice.file.empty()) return false;
  return system.ShellOpen(choice.file, choice.parameters);
}

}  // namespace pelmar
