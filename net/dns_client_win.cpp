#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "net/dns_client.h"
#include "net/process_id.h"
#include "base/win/system_api.h"

namespace pelmar {
namespace {
// The size of FIXED_INFO on 32-bit Windows. A machine with more servers than
// fit makes the call fail, and the public resolvers are used then.
constexpr ULONG kNetworkParamsBytes = 584;
// Bound on the linked list walk in case of a corrupted list.
constexpr int kMaxListedServers = 64;
}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

std::vector<std::string> SystemDnsServers() {
  std::vector<std::string> servers;
  alignas(8) unsigned char buffer[kNetworkParamsBytes] = {};
  ULONG size = sizeof buffer;
  auto* info = reinterpret_cast<FIXED_INFO*>(buffer);
  if (sys::GetNetworkParams(info, &size) != ERROR_SUCCESS) return servers;
  const IP_ADDR_STRING* entry = &info->DnsServerList;
  for (int n = 0; entry != nullptr && n < kMaxListedServers; ++n, entry = entry->Next) {
    const char* text = entry->IpAddress.String;
    const size_t length = strnlen(text, sizeof entry->IpAddress.String);
    if (length > 0) servers.emplace_back(text, length);
  }
  return servers;
}

}  // namespace pelmar
