#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/dns_reply.h"

namespace pelmar {

// Used when the system resolver has failed.
inline constexpr const char* kFallbackResolver = "114.114.114.114";
// Used when neither the caller nor the system names a server; first entry
// is the fallback resolver.
inline constexpr const char* kPublicResolverList[] = {
    "114.114.114.114", "114.114.115.115", "223.5.5.5", "223.6.6.6", "8.8.8.8", "8.8.4.4"};
inline constexpr uint16_t kDnsPort = 53;
inline constexpr int kDnsWaitMilliseconds = 3000;
// Replies from the wrong address or with the wrong ID are dropped; this many
// at most, so a flood cannot keep the client busy past its deadline either.
inline constexpr int kMaxIgnoredDnsReplies = 64;
inline constexpr size_t kDnsReceiveBufferBytes = 65536;

// Asks one DNS server for the A records of `host`. The server is `server`
// when it is a strict dotted IPv4 address, else the system's first
// configured server, else the first public resolver. Returns 0 with at least
// one address, -1 otherwise.
[[nodiscard]] int QueryDnsServer(const std::string& server, const std::string& host,
                                 DnsAddresses* out);

// The same with the destination port (host order) and the wait in
// milliseconds given; the product uses kDnsPort and kDnsWaitMilliseconds,
// tests a loopback server.
[[nodiscard]] int QueryDnsServerOn(const std::string& server, const std::string& host,
                                   uint16_t port, int wait_milliseconds, DnsAddresses* out);

// The servers QueryDnsServer picks from, in order (only the first is asked).
std::vector<std::string> DnsServerList(const std::string& server);

// The operating system's configured DNS servers, in its order (platform body).
std::vector<std::string> SystemDnsServers();

}  // namespace pelmar
