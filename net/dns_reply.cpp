#include "net/dns_reply.h"

namespace pelmar {
namespace {

constexpr uint16_t kTypeA = 1;
constexpr size_t kRecordFixedBytes = 10;  // TYPE, CLASS, TTL, RDLENGTH

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

// Checks the name at `pos` and sets *end to the byte after it where it sits
// (after the first pointer, or after the closing zero). Every label and
// pointer must lie inside the reply; pointers must point backwards.
bool SkipName(const uint8_t* msg, size_t length, size_t pos, size_t* end) {
  bool jumped = false;
  int jumps = 0;
  size_t name_bytes = 0;
  for (;;) {
    if (pos >= length) return false;
    const uint8_t b = msg[pos];
    if (b >= 0xC0) {
      if (pos + 2 > length) return false;
      const size_t target = Read16(msg + pos) & 0x3FFF;
      if (!jumped) *end = pos + 2;
      jumped = true;
      if (target >= pos || ++jumps > kMaxDnsPointerJumps) return false;
      pos = target;
      continue;
    }
    if (b > kMaxDnsLabelBytes) return false;  // 0x40 and 0x80 label types are not in use
    name_bytes += 1u + b;
    if (name_bytes > kMaxDnsNameBytes) return false;
    if (b == 0) {
      if (!jumped) *end = pos + 1;
      return true;
    }
    if (pos + 1 + b > length) return false;
    pos += 1u + b;
  }
}

}  // namespace

std::string BuildDnsQuery(const uint8_t id[2], std::string_view host) {
  std::string q;
  q.push_back(static_cast<char>(id[0]));
  q.push_back(static_cast<char>(id[1]));
  q.push_back('\x01');  // recursion desired
  q.push_back('\x00');
  q.append("\x00\x01\x00\x00\x00\x00\x00\x00", 8);  // QDCOUNT 1, no other records
  const size_t qname_start = q.size();
  size_t label_start = 0;
  const std::string name = std::string(host) + ".";
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '.') continue;
    const size_t label = i - label_start;
    if (label > kMaxDnsLabelBytes) return {};
    q.push_back(static_cast<char>(label));
    q.append(name, label_start, label);
    label_start = i + 1;
  }
  q.push_back('\0');
  if (q.size() - qname_start > kMaxDnsNameBytes) return {};
  q.append("\x00\x01\x00\x01", 4);  // QTYPE A, QCLASS IN
  return q;
}

int ParseDnsReply(const uint8_t* reply, size_t length, size_t question_length, DnsAddresses* out) {
  out->count = 0;
  if (reply == nullptr || length < kDnsHeaderBytes) return -1;
  int answers = Read16(reply + 6);
  if (answers > kMaxDnsAddresses) answers = kMaxDnsAddresses;
  if (question_length > length - kDnsHeaderBytes) return -1;
  size_t pos = kDnsHeaderBytes + question_length;
  DnsAddresses found;
  for (int n = 0; n < answers; ++n) {
    size_t after_name = 0;
    if (!SkipName(reply, length, pos, &after_name)) return -1;
    pos = after_name;
    if (length - pos < kRecordFixedBytes) return -1;
    const uint16_t type = Read16(reply + pos);
    const size_t rdlength = Read16(reply + pos + 8);
    pos += kRecordFixedBytes;
    if (length - pos < rdlength) return -1;
    if (type == kTypeA) {
      if (rdlength < 4) return -1;
      uint32_t address;
      __builtin_memcpy(&address, reply + pos, 4);
      found.addresses[found.count++] = address;
    }
    pos += rdlength;
  }
  *out = found;
  return found.count > 0 ? 0 : -1;
}

}  // namespace pelmar
