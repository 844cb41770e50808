#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelmar::vek {

using Digest256 = std::array<uint8_t, 32>;

// The portable reference SHA-256 (FIPS 180-4), also the algorithm the
// backend implements; the Windows build computes with the platform's
// provider and tests that both agree.
class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t size);
  Digest256 Finish();

  static Digest256 Of(std::string_view data);

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t totalBytes_ = 0;
};

// HMAC (RFC 2104) over the portable SHA-256.
Digest256 ReferenceHmacSha256(std::string_view key, std::string_view message);

}  // namespace pelmar::vek
