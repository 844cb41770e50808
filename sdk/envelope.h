#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar::vek {

// The sealed payload the servers answer with:
//   base64(payload) "." hex(HMAC-SHA256(key, base64(payload)))
// standard Base64 with padding, 64 lower-case hex characters.

// Larger answers are not package records; refused before any work.
inline constexpr size_t kMaxSealedSize = 8u * 1024 * 1024;
inline constexpr size_t kMacHexSize = 64;

std::string Base64Encode(std::string_view bytes);
// Strict: length a multiple of 4, padding only at the end, no other bytes,
// unused bits zero. False (out untouched) on anything else.
[[nodiscard]] bool Base64Decode(std::string_view text, std::string* out);
std::string HexLower(const void* bytes, size_t size);

std::string Seal(std::string_view key, std::string_view payload);
// True with the payload when `sealed` is well formed and its MAC verifies
// (compared in constant time). Reads no byte outside `sealed`.
[[nodiscard]] bool Open(std::string_view key, std::string_view sealed, std::string* payload);

}  // namespace pelmar::vek
