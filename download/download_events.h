#pragma once

#include <cstdint>
#include <string>

#include "base/release_check.h"

namespace pelmar {

// The analytics events of the download, in one place. Each clears the
// properties of an earlier event, sets its own and sends. They go to the
// process's event sink (see base/event_sink.h).

// Error texts of the URL query ("获取下载信息线程出错").
inline constexpr const char* kQueryErrorType = "获取下载信息线程出错";
// Error texts of the download threads and the controller ("下载线程出错").
inline constexpr const char* kThreadErrorType = "下载线程出错";

// The "error_status" of a download the maker's release statement does not
// let the installer start, one text per reason (sent with kThreadErrorType).
const char* ReleaseRefusalStatus(ReleaseVerdict verdict);
// The downloaded file could not be held against changes (another program
// has it open for writing or deleting) or read for its digests.
inline constexpr const char* kFileNotHeldStatus = "文件被占用无法校验";

// "vSoftDownloadError" with "error_type" and "error_status" (UTF-8).
void SendDownloadErrorEvent(const char* error_type, const char* error_status);
// "vSoftDownloadStart" without properties.
void SendDownloadStartEvent();
// "pSoftDownloadResult" with "soft_download_status" and "download_time".
void SendDownloadResultEvent(const char* status, int32_t download_time);

}  // namespace pelmar
