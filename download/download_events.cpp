#include "download/download_events.h"

#include "base/event_sink.h"

namespace pelmar {

const char* ReleaseRefusalStatus(ReleaseVerdict verdict) {
  switch (verdict) {
    case ReleaseVerdict::kValid:
      return "";
    case ReleaseVerdict::kNoStatement:
      return "缺少发布声明";
    case ReleaseVerdict::kMalformed:
      return "发布声明格式错误";
    case ReleaseVerdict::kBadSignature:
      return "发布声明签名无效";
    case ReleaseVerdict::kOtherProduct:
      return "发布声明产品不符";
    case ReleaseVerdict::kExpired:
      return "发布声明已过期";
    case ReleaseVerdict::kOlderThanInstalled:
      return "发布版本低于已安装版本";
    case ReleaseVerdict::kSizeMismatch:
      return "文件大小与发布声明不符";
    case ReleaseVerdict::kSha256Mismatch:
      return "文件SHA256与发布声明不符";
  }
  return "发布声明校验失败";
}

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
