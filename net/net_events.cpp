#include "net/net_events.h"

#include "base/event_sink.h"

namespace pelmar {

void SendDownloadInitFailedEvent() {
  (void)ProcessEventSink()->Send(Event("vSoftDownloadError")
                                     .SetString("error_type", "获取下载信息线程出错")
                                     .SetString("error_status", "初始化失败"));
}

void SendNetworkCheckEvent(const std::string& network_type, int conn_type,
                           const std::string& host_name) {
  (void)ProcessEventSink()->Send(Event("vNetworkCheck")
                                     .SetString("network_type", network_type)
                                     .SetInt("conn_type", conn_type)
                                     .SetString("host_name", host_name));
}

}  // namespace pelmar
