#include <unistd.h>

#include <fstream>
#include <sstream>

#include "net/dns_client.h"
#include "net/process_id.h"
#include "net/socket_ops.h"

namespace pelmar {
namespace {
// resolv.conf is a few lines; a longer file is read only this far.
constexpr size_t kMaxResolvConfBytes = 64 * 1024;
}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::vector<std::string> SystemDnsServers() {
  std::vector<std::string> servers;
  std::ifstream file("/etc/resolv.conf");
  std::string line;
  size_t read = 0;
  while (read < kMaxResolvConfBytes && std::getline(file, line)) {
    read += line.size() + 1;
    std::istringstream words(line);
    std::string keyword, address;
    words >> keyword >> address;
    uint32_t parsed;
    // IPv6 servers cannot be asked by this IPv4 client, so they are left out.
    if (keyword == "nameserver" && ParseDottedIpv4(address, &parsed)) servers.push_back(address);
  }
  return servers;
}

}  // namespace pelmar
