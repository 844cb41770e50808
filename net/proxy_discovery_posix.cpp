#include "net/proxy_discovery.h"

namespace pelmar {

// No per-user proxy facility natively: always direct.
std::string SystemProxyListForUrl(const std::string&) { return {}; }

}  // namespace pelmar
