#include "services/pkg_info.h"

namespace pelmar {

// Natively there is no version resource.
std::string InstallerVersionForRequests() { return "0.9.0.1"; }

}  // namespace pelmar
