#include "net/proxy_reply.h"

#include "base/number_text.h"

namespace pelmar {

int ProxyReplyStatus(std::string_view reply) {
  constexpr size_t kStatusOffset = 9;
  constexpr size_t kMinLength = 12;
  if (reply.size() < kMinLength) return -1;
  // Three characters at most, so the value always fits an int.
  return static_cast<int>(ParseDecimalLikeScanf(reply.substr(kStatusOffset, 3)));
}

}  // namespace pelmar
