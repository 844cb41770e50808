#pragma once

#include <string>

namespace pelmar {

// Records a proxy choice that just worked in the shared settings; the first
// store of the run also sends the "网络代理" network check event. Takes the
// AppContext lock (and sends the event under it). No context: does nothing.
void StoreProxyChoice(int proxy_type, const std::string& proxy_host, int proxy_port);

// Records a resolver choice that just worked; the first store of the run also
// sends the "DNS解析" network check event.
void StoreResolverChoice(int dns_mode, const std::string& dns_server);

}  // namespace pelmar
