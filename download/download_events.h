#pragma once

#include <cstdint>
#include <string>

namespace pelmar {

// The analytics events of the download, in one place. Each clears the
// properties of an earlier event, sets its own and sends. They go to the
// process's event sink (see base/event_sink.h).

// Error texts of the URL query ("获取下载信息线程出错").
inline constexpr const char* kQueryErrorType = "获取下载信息线程出错";
// Error texts of the download threads and the controller ("下载线程出错").
inline constexpr const char* kThreadErrorType = "下载线程出错";

// "vSoftDownloadError" with "error_type" and "error_status" (UTF-8).
void SendDownloadErrorEvent(const char* error_type, const char* error_status);
// "vSoftDownloadStart" without properties.
void SendDownloadStartEvent();
// "pSoftDownloadResult" with "soft_download_status" and "download_time".
void SendDownloadResultEvent(const char* status, int32_t download_time);

}  // namespace pelmar
