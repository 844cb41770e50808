#include "download/downloader.h"

#include "app/app_info.h"
#include "app/file_system.h"
#include "app/installer_settings.h"

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
