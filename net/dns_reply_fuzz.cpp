// Properties: the parser stays inside the datagram (ASan), reports success
// exactly when it found an address, never more than the cap, and a reply
// that parsed keeps its result when more bytes follow it.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "net/dns_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // First byte: the question length the parser is told (as the client knows it).
  const size_t question_length = data[0];
  const std::vector<uint8_t> reply(data + 1, data + size);  // exact-size copy

  pelmar::DnsAddresses out;
  const int status = pelmar::ParseDnsReply(reply.data(), reply.size(), question_length, &out);
  if (status != 0 && status != -1) abort();
  if (out.count < 0 || out.count > pelmar::kMaxDnsAddresses) abort();
  if ((status == 0) != (out.count > 0)) abort();

  if (status == 0) {
    std::vector<uint8_t> longer = reply;
    longer.insert(longer.end(), 16, 0xC0);
    pelmar::DnsAddresses again;
    if (pelmar::ParseDnsReply(longer.data(), longer.size(), question_length, &again) != 0) abort();
    if (again.count != out.count ||
        std::memcmp(again.addresses, out.addresses,
                    sizeof(uint32_t) * static_cast<size_t>(out.count)) != 0) {
      abort();
    }
  }
  return 0;
}
