#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar {

// At most this many addresses are taken from one reply; more answers are ignored.
inline constexpr int kMaxDnsAddresses = 20;
// RFC 1035 limits: a label is at most 63 bytes, a name at most 255 bytes on
// the wire. A reply that breaks them is refused rather than trusted.
inline constexpr size_t kMaxDnsLabelBytes = 63;
inline constexpr size_t kMaxDnsNameBytes = 255;
// Compression pointers followed while checking one name; each must point to
// an earlier position, so a loop is impossible, and this caps the work.
inline constexpr int kMaxDnsPointerJumps = 32;
inline constexpr size_t kDnsHeaderBytes = 12;

struct DnsAddresses {
  int count = 0;                              // never above kMaxDnsAddresses
  uint32_t addresses[kMaxDnsAddresses] = {};  // IPv4, network order
};

// The A-record query for `host`: 12-byte header with the two ID bytes as
// given, recursion desired, one question; QNAME from host + "."; type A,
// class IN. Empty result when host cannot be encoded (a label over 63 bytes,
// a name over 255 bytes).
std::string BuildDnsQuery(const uint8_t id[2], std::string_view host);

// Reads the answers of `reply` (its `length` bytes only). The answers start
// after the 12-byte header and a question of `question_length` bytes (the
// question as sent). A records give addresses (in answer order, at most
// kMaxDnsAddresses); other records are skipped by their RDLENGTH. Returns 0
// when at least one address was found, -1 otherwise; -1 also for any reply
// that does not fit its own length (then `out->count` is 0).
[[nodiscard]] int ParseDnsReply(const uint8_t* reply, size_t length, size_t question_length,
                                DnsAddresses* out);

}  // namespace pelmar
