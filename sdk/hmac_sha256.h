#pragma once

#include <string_view>

#include "sdk/sha256.h"

namespace pelmar::vek {

// HMAC-SHA256 (RFC 2104). Windows: hashed by the system's cryptographic
// provider (falling back to the reference where the provider lacks SHA-256,
// as on old XP service packs); natively: the portable reference.
Digest256 HmacSha256(std::string_view key, std::string_view message);

}  // namespace pelmar::vek
