// Properties: the proxy status line reader stays within the reply, accepts
// exactly status 200, and its value is what three characters can hold; the
// proxy list reader only selects entries with a host free of separators.
#include <cstdlib>
#include <string>
#include <vector>

#include "net/proxy_discovery.h"
#include "net/proxy_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<char> exact(data, data + size);  // exact-size copy for ASan
  const std::string_view reply(exact.data(), exact.size());
  const int status = pelmar::ProxyReplyStatus(reply);
  if (status < -99 || status > 999) abort();
  if (reply.size() < 12 && status != -1) abort();
  if (pelmar::ProxyReplyAccepted(reply) != (status == 200)) abort();

  const pelmar::ProxyChoice choice = pelmar::ParseProxyList(reply);
  if (choice.type != 0 && choice.type != 1) abort();
  if (choice.type == 1 &&
      (choice.host.empty() || choice.host.find_first_of(";:") != std::string::npos))
    abort();
  if (choice.type == 0 && (!choice.host.empty() || choice.port != 0)) abort();
  return 0;
}
