#include "net/network_check_report.h"

#include <mutex>

#include "base/app_context.h"
#include "net/net_events.h"

namespace pelmar {

void StoreProxyChoice(int proxy_type, const std::string& proxy_host, int proxy_port) {
  AppContext* ctx = GetAppContext();
  if (ctx == nullptr) return;
  std::lock_guard<CXMutex> lock(ctx->mutex);
  if (!ctx->network.proxyReported) {
    SendNetworkCheckEvent("网络代理", proxy_type, proxy_host);
    ctx->network.proxyReported = true;
  }
  ctx->network.proxyType = proxy_type;
  ctx->network.proxyHost = proxy_host;
  ctx->network.proxyPort = proxy_port;
}

void StoreResolverChoice(int dns_mode, const std::string& dns_server) {
  AppContext* ctx = GetAppContext();
  if (ctx == nullptr) return;
  std::lock_guard<CXMutex> lock(ctx->mutex);
  if (!ctx->network.resolverReported) {
    SendNetworkCheckEvent("DNS解析", dns_mode, dns_server);
    ctx->network.resolverReported = true;
  }
  ctx->network.dnsMode = dns_mode;
  ctx->network.dnsServer = dns_server;
}

}  // namespace pelmar
