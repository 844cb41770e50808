#pragma once

#include <string>
#include <vector>

#include "download/package_record.h"

namespace pelmar {

class IPkgInfo;

// The server's package record (the package information service) as the
// download reads it. Its accessors take the service's own lock.
class CServerPackageRecord : public IPackageRecord {
 public:
  explicit CServerPackageRecord(IPkgInfo* info) : info_(info) {}

  int GetStatus() override;
  std::string GetVersion() override;
  std::vector<std::string> GetUrls() override;
  std::string GetMd5() override;
  SignedReleaseText GetRelease() override;

 private:
  IPkgInfo* const info_;
};

// The process's record, over GetPkgInfo(); null when there is no package
// information service.
IPackageRecord* ServerPackageRecord();

}  // namespace pelmar
