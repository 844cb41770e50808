#include "pages/install_target.h"

#include "pages/page_rules.h"

namespace pelmar {

CInstallTarget::CInstallTarget(RequiredBytesQuery required, FreeBytesQuery freeBytes)
    : required_(std::move(required)), freeBytes_(std::move(freeBytes)) {}

SpaceCheck CInstallTarget::CheckSpace(const std::wstring& path) const {
  SpaceCheck check;
  check.requiredBytes = required_ ? required_() : 0;
  check.freeBytes = freeBytes_ ? freeBytes_(path) : 0;
  check.roomy = HasRoom(check.requiredBytes, check.freeBytes);
  return check;
}

}  // namespace pelmar
