#include "app/downloader_services.h"

#include "base/file_system.h"
#include "services/installer_settings.h"

namespace pelmar {

// Natively there is no uninstall entry and no version resource: nothing is
// installed, and no stored file can prove it is new enough by its version.
DownloaderServices DefaultDownloaderServices(IPackageRecord* package) {
  DownloaderServices s;
  s.query = DefaultUrlQuerySettings(package);
  s.settings = InstallerSettings::Instance();
  s.productDataDirectory = ProductDataDirectory();
  return s;
}

}  // namespace pelmar
