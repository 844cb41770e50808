#pragma once

#include <string>

#include "services/browser_system.h"

namespace pelmar {

class IEventSink;

// How the browser was chosen, reported as "launch_app_type".
enum BrowserLaunchType {
  kLaunchByShell = 0,         // no browser found: the address goes to the shell
  kLaunchByLauncher = 1,      // the program that started the installer (or Edge)
  kLaunchRunningBrowser = 2,  // a browser running since before the installer was saved
  kLaunchDownloadFolder = 3,  // the browser whose download folder holds the installer
};

struct BrowserChoice {
  std::wstring file;  // what the shell opens; empty: nothing is started
  std::wstring parameters;
  int type = kLaunchByShell;
  int censusCount = 0;       // "browser_num"
  std::wstring censusNames;  // "browser_name"
};

// Picks the program by the order of evidence: the launcher, the Edge broker,
// the download folder, the running browsers (the default one first, else the
// most preferred), else the shell. False when the installer's own file
// cannot be read: then nothing is chosen.
[[nodiscard]] bool ChooseBrowser(const std::wstring& url, const std::wstring& launcher,
                                 IBrowserSystem& system, BrowserChoice* choice);

// Chooses, reports "vOpenUrl" and starts the choice. An address that is not
// a plain http address is reported as type 0 and nothing is started.
// True when a program was started.
bool OpenUrlWith(const std::wstring& url, const std::wstring& launcher, IBrowserSystem& system,
                 IEventSink& events);

}  // namespace pelmar
