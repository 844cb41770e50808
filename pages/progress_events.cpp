#include "pages/progress_events.h"

#include <string>

namespace pelmar {
namespace {

constexpr const char* kTrayPage = "0003";

}  // namespace

void SendInstallStartEvent(IEventSink& events) { (void)events.Send(Event("vSoftInstallStart")); }

void SendInstallErrorEvent(IEventSink& events, uint32_t exitCode) {
  (void)events.Send(Event("vSoftInstallError").SetString("error_status", std::to_string(exitCode)));
}

void SendDownloadFailedEvent(IEventSink& events) {
  (void)events.Send(Event("pSoftDownloadResult")
                        .SetString("soft_download_status", "下载失败")
                        .SetInt("download_time", -1));
}

void SendHiddenToTrayAction(IPageActionSink& actions) {
  (void)actions.SendPageAction(kTrayPage, "0001", "");
}

void SendRestoredFromTrayAction(IPageActionSink& actions) {
  (void)actions.SendPageAction(kTrayPage, "0002", "");
}

}  // namespace pelmar
