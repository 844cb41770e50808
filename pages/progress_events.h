#pragma once

#include <cstdint>

#include "base/event_sink.h"
#include "services/page_action_sink.h"

namespace pelmar {

// The analytics records of the progress page, in one place, each with
// exactly its own properties.

// "vSoftInstallStart" without properties.
void SendInstallStartEvent(IEventSink& events);
// "vSoftInstallError" with "error_status" = the exit code as unsigned decimal.
void SendInstallErrorEvent(IEventSink& events, uint32_t exitCode);
// "pSoftDownloadResult" with "soft_download_status" = "下载失败" and
// "download_time" = -1.
void SendDownloadFailedEvent(IEventSink& events);
// Page actions of the notification area: page "0003", action "0001" (hidden)
// or "0002" (restored), empty extra text.
void SendHiddenToTrayAction(IPageActionSink& actions);
void SendRestoredFromTrayAction(IPageActionSink& actions);

}  // namespace pelmar
