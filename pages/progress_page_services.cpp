#include "pages/progress_page_services.h"

namespace pelmar {
namespace {

ProgressPageServices& Installed() {
  static ProgressPageServices services;
  return services;
}

}  // namespace

void SetProgressPageServices(const ProgressPageServices& services) { Installed() = services; }

const ProgressPageServices& ProgressPageServicesInUse() { return Installed(); }

}  // namespace pelmar
