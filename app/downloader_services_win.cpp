#include "app/downloader_services.h"

#include "app/app_info.h"
#include "base/file_system.h"
#include "services/installer_settings.h"

namespace pelmar {

DownloaderServices DefaultDownloaderServices(IPackageRecord* package) {
  DownloaderServices s;
  s.query = DefaultUrlQuerySettings(package);
  s.settings = InstallerSettings::Instance();
  s.productDataDirectory = ProductDataDirectory();
  s.productVersionOfFile = [](const std::wstring& path) {
    return CAppInfo::Instance()->ProductVersionOfFile(path);
  };
  s.installedProductPath = [] { return CAppInfo::Instance()->InstalledProductPath(); };
  s.installedProductVersion = [] { return CAppInfo::Instance()->InstalledProductVersion(); };
  return s;
}

}  // namespace pelmar
