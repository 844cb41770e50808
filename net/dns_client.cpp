#include "net/dns_client.h"

#include <chrono>
#include <cstring>
#include <vector>

#include "net/process_id.h"
#include "net/socket_ops.h"

namespace pelmar {

std::vector<std::string> DnsServerList(const std::string& server) {
  uint32_t address;
  if (ParseDottedIpv4(server, &address)) return {server};
  std::vector<std::string> list = SystemDnsServers();
  if (list.empty()) list.assign(std::begin(kPublicResolverList), std::end(kPublicResolverList));
  return list;
}

int QueryDnsServer(const std::string& server, const std::string& host, DnsAddresses* out) {
  return QueryDnsServerOn(server, host, kDnsPort, kDnsWaitMilliseconds, out);
}

int QueryDnsServerOn(const std::string& server, const std::string& host, uint16_t port,
                     int wait_milliseconds, DnsAddresses* out) {
  out->count = 0;
  const std::vector<std::string> servers = DnsServerList(server);
  // Only the first server is asked; an invalid one leaves the destination
  // zero and the send fails.
  uint32_t destination = 0;
  if (servers.empty() || !ParseDottedIpv4(servers.front(), &destination)) return -1;

  CSocket s(SockOpenUdp());
  if (!s.IsValid()) return -1;

  // The ID is the low 16 bits of the process id, in the machine's own order.
  const uint16_t pid = static_cast<uint16_t>(CurrentProcessId());
  uint8_t id[2];
  std::memcpy(id, &pid, sizeof id);
  const std::string query = BuildDnsQuery(id, host);
  if (query.empty()) return -1;
  const size_t question_length = query.size() - kDnsHeaderBytes;
  const uint16_t port_net = HostToNet16(port);
  if (SockSendTo(s.Get(), query.data(), static_cast<int>(query.size()), destination, port_net) <= 0)
    return -1;

  std::vector<char> buffer(kDnsReceiveBufferBytes);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
  for (int ignored = 0; ignored <= kMaxIgnoredDnsReplies; ++ignored) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return -1;
    if (SockWaitReadable(s.Get(), static_cast<int>(left)) != 1) return -1;
    uint32_t from = 0;
    uint16_t from_port = 0;
    const int got =
        SockRecvFrom(s.Get(), buffer.data(), static_cast<int>(buffer.size()), &from, &from_port);
    if (got < 0) {
      // Windows reports an ICMP "port unreachable" from an earlier datagram
      // as a reset on the next receive; nothing will answer then.
      return -1;
    }
    // Anything on the network can send us a datagram: only a reply from the
    // server asked, carrying our ID, is an answer. Others are dropped.
    if (from != destination || from_port != port_net) continue;
    if (got < 2 || std::memcmp(buffer.data(), id, 2) != 0) continue;
    return ParseDnsReply(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<size_t>(got),
                         question_length, out);
  }
  return -1;
}

}  // namespace pelmar
