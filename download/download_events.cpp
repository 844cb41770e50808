#include "download/download_events.h"

#include "base/event_sink.h"

namespace pelmar {

void SendDownloadErrorEvent(const char* error_type, const char* error_status) {
  (void)ProcessEventSink()->Send(Event("vSoftDownloadError")
                                     .SetString("error_type", error_type)
                                     .SetString("error_status", error_status));
}

void SendDownloadStartEvent() { (void)ProcessEventSink()->Send(Event("vSoftDownloadStart")); }

void SendDownloadResultEvent(const char* status, int32_t download_time) {
  (void)ProcessEventSink()->Send(Event("pSoftDownloadResult")
                                     .SetString("soft_download_status", status)
                                     .SetInt("download_time", download_time));
}

}  // namespace pelmar
