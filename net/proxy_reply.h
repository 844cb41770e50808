#pragma once

#include <cstddef>
#include <string_view>

namespace pelmar {

// A proxy's answer to CONNECT is read with one receive of at most this many
// bytes; the status line is all that is looked at.
inline constexpr size_t kMaxProxyReplyBytes = 1023;

// The status of a proxy's reply: the reply must be longer than 11 bytes; the
// three bytes from position 9 are read as a decimal number like "%d" does.
// Returns -1 for a shorter reply.
int ProxyReplyStatus(std::string_view reply);

// True when the reply accepts the tunnel (status 200), whatever its protocol
// version and reason text.
inline bool ProxyReplyAccepted(std::string_view reply) { return ProxyReplyStatus(reply) == 200; }

}  // namespace pelmar
