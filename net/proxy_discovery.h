#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar {

struct ProxyChoice {
  int type = 0;  // 0 direct, 1 HTTP proxy with CONNECT tunnel
  std::string host;
  uint16_t port = 0;
};

// Reads a proxy list like "ftp=a:21;http=b:8080" or "host:port": entries split
// at ";" (empty ones dropped); scheme before the first "=", host up to the
// first ":", port after it. Entries for "http" (exact case) or without a
// scheme select an HTTP proxy; the last such entry wins. Empty hosts are
// skipped. No match leaves the choice direct.
ProxyChoice ParseProxyList(std::string_view list);

// The proxy list the operating system gives for `url`: the automatic
// configuration script's answer when one is configured for the current user,
// else the user's manual proxy list. Empty when no proxy is to be used or the
// platform has no such facility (platform body).
std::string SystemProxyListForUrl(const std::string& url);

}  // namespace pelmar
