#pragma once

#include <string>

namespace pelmar {

// The network choices shared by every connection, kept in AppContext and
// guarded by its mutex. The network layer fills them in.
struct NetworkSettings {
  int proxyType = 0;
  std::string proxyHost;
  int proxyPort = 0;
  int dnsMode = 0;
  std::string dnsServer;
  // Set once the first choice of each kind has been reported; they live as
  // long as the context, i.e. one run of the process.
  bool proxyReported = false;
  bool resolverReported = false;
};

}  // namespace pelmar
