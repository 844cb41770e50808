#pragma once

#include <cstdint>

namespace pelmar {

class ILoggerServer;

// The analytics records of the progress page, in one place. Each clears the
// pending properties, sets its own and sends. They go to GetLogger() unless a
// test has named another logger.

// "vSoftInstallStart" without properties.
void SendInstallStartEvent();
// "vSoftInstallError" with "error_status" = the exit code as unsigned decimal.
void SendInstallErrorEvent(uint32_t exitCode);
// "pSoftDownloadResult" with "soft_download_status" = "下载失败" and
// "download_time" = -1.
void SendDownloadFailedEvent();
// Page actions of the notification area: page "0003", action "0001" (hidden)
// or "0002" (restored), empty extra text.
void SendHiddenToTrayAction();
void SendRestoredFromTrayAction();

// Tests: send to `logger` instead of GetLogger() (null restores it).
void SetProgressEventLoggerForTesting(ILoggerServer* logger);

}  // namespace pelmar
