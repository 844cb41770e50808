#pragma once

#include "download/downloader.h"
#include "download/server_package_record.h"

namespace pelmar {

// The installer's own services for the download controller: "config.ini",
// the product data directory, the application information, and the given
// package record (by default the server's, whose first use starts its reader).
DownloaderServices DefaultDownloaderServices(IPackageRecord* package = ServerPackageRecord());

// A controller with the installer's services; null if it cannot be made.
inline IDownloader* CreateDownloader() { return CreateDownloader(DefaultDownloaderServices()); }

}  // namespace pelmar
