#pragma once

#include <string>

namespace pelmar {

// Opens `url` in the browser the user is most likely to use: a browser named
// by `launcherPath`, else a running one, else the default one, else the shell.
// Reports "vOpenUrl". Never throws; true when a program was started.
bool OpenUrlInBrowser(const std::wstring& url, const std::wstring& launcherPath);

}  // namespace pelmar
