#pragma once

#include <string>

#include "base/event_sink.h"
#include "services/user_launcher.h"

namespace pelmar {

// Opens `url` in the browser the user is most likely to use: a browser named
// by `launcherPath`, else a running one, else the default one, else the shell.
// The program is started through `launcher` (as the desktop user); reports
// "vOpenUrl" to `events`. Never throws; true when a program was started.
bool OpenUrlInBrowser(const std::wstring& url, const std::wstring& launcherPath,
                      IUserLauncher& launcher, IEventSink& events);

}  // namespace pelmar
