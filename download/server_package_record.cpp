#include "download/server_package_record.h"

#include "services/pkg_info.h"

namespace pelmar {

int CServerPackageRecord::GetStatus() { return info_->Status(); }

std::string CServerPackageRecord::GetVersion() { return info_->Version(); }

std::vector<std::string> CServerPackageRecord::GetUrls() {
  // The reader stores the record once, before the status turns ready, so the
  // count and the entries read here belong together.
  std::vector<std::string> urls;
  const size_t count = info_->UrlCount();
  for (size_t i = 0; i < count; ++i) urls.push_back(info_->UrlAt(i));
  return urls;
}

std::string CServerPackageRecord::GetMd5() { return info_->Md5(); }

SignedReleaseText CServerPackageRecord::GetRelease() {
  return {info_->ReleaseStatement(), info_->ReleaseSignature()};
}

IPackageRecord* ServerPackageRecord() {
  static IPkgInfo* const info = GetPkgInfo();
  if (info == nullptr) return nullptr;
  static CServerPackageRecord record(info);
  return &record;
}

}  // namespace pelmar
