#pragma once

#include <string>

namespace pelmar {

// The analytics events the network layer sends, in one place. They go to
// the process's event sink (see base/event_sink.h).

// "vSoftDownloadError" with "获取下载信息线程出错" / "初始化失败" (a URL that
// cannot be split).
void SendDownloadInitFailedEvent();

// "vNetworkCheck" with "network_type", "conn_type" and "host_name".
void SendNetworkCheckEvent(const std::string& network_type, int conn_type,
                           const std::string& host_name);

}  // namespace pelmar
