#include "net/socket_ops.h"

namespace pelmar {

bool ParseDottedIpv4(std::string_view text, uint32_t* address) {
  uint32_t host_order = 0;
  int parts = 0;
  size_t i = 0;
  while (true) {
    // Each part: digits with a value up to 255 (leading zeros allowed).
    size_t digits = 0;
    uint32_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++digits;
      value = value * 10 + static_cast<uint32_t>(text[i] - '0');
      if (value > 255) return false;
      ++i;
    }
    if (digits == 0 || value > 255) return false;
    host_order = (host_order << 8) | value;
    ++parts;
    if (i == text.size()) break;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
  if (parts != 4) return false;
  *address = HostToNet32(host_order);
  return true;
}

std::string FormatIpv4(uint32_t address) {
  const uint32_t h = NetToHost32(address);
  return std::to_string(h >> 24) + "." + std::to_string((h >> 16) & 0xFF) + "." +
         std::to_string((h >> 8) & 0xFF) + "." + std::to_string(h & 0xFF);
}

uint16_t HostToNet16(uint16_t v) {
  const uint8_t b[2] = {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  uint16_t out;
  static_assert(sizeof out == sizeof b);
  __builtin_memcpy(&out, b, sizeof out);
  return out;
}

uint32_t HostToNet32(uint32_t v) {
  const uint8_t b[4] = {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  uint32_t out;
  __builtin_memcpy(&out, b, sizeof out);
  return out;
}

}  // namespace pelmar
