#include "services/browser_opener.h"

#include "services/browser_choice.h"
#include "services/logger_server.h"

namespace pelmar {

bool OpenUrlInBrowser(const std::wstring& url, const std::wstring& launcherPath) {
  // Nothing here may end the installer: every failure means "not opened".
  try {
    const std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem();
    return OpenUrlWith(url, launcherPath, *system, *GetLogger());
  } catch (...) {
    return false;
  }
}

}  // namespace pelmar
