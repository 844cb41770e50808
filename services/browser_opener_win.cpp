#include "services/browser_opener.h"

#include "base/text_convert.h"
#include "services/browser_choice.h"

namespace pelmar {

bool OpenUrlInBrowser(const std::wstring& url, const std::wstring& launcherPath,
                      IUserLauncher& launcher, IEventSink& events) {
  // Nothing here may end the installer: every failure means "not opened".
  try {
    // The browser gets the desktop user's rights, as the product does: it is
    // started through the SDK's run-as-user path, never by this process.
    const std::unique_ptr<IBrowserSystem> system = CreateBrowserSystem(
        L"", [&launcher](const std::wstring& file, const std::wstring& parameters) {
          const std::string arguments = Utf8FromWide(parameters);
          return launcher.RunAsUser("open", Utf8FromWide(file),
                                    arguments.empty() ? nullptr : arguments.c_str()) != 0;
        });
    return OpenUrlWith(url, launcherPath, *system, events);
  } catch (...) {
    return false;
  }
}

}  // namespace pelmar
