#pragma once

// Test support: the maker's side of a release in C++ (the real tools are in
// backend/releases.py), with libsodium's signing. Tests only: the installer
// itself never signs.

#include <sodium.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "base/release_check.h"
#include "base/release_statement.h"

namespace pelmar::testing {

// The development key pair of the repository (backend/keys/DEVELOPMENT-ONLY-maker.*),
// which the default build pins.
inline constexpr const char* kDevelopmentSeedHex =
    "c669604f313c2e056c1dbc6e8fbbd4649c9ee45eed05ea1fdee9a5430ceb3d43";
inline constexpr const char* kDevelopmentPublicHex =
    "c3f46b484fac9920e6395cda6473703ae8c5592c8874a15d8504aa38ecd1ec9b";

// A signing key made from a 32-byte seed.
class TestMaker {
 public:
  // A key of its own: every byte of the seed is `fill`.
  explicit TestMaker(uint8_t fill) {
    uint8_t seed[32];
    std::memset(seed, fill, sizeof seed);
    Init(seed);
  }
  // The development key.
  static TestMaker Development() {
    uint8_t seed[32];
    (void)ParseLowerHex(kDevelopmentSeedHex, seed, sizeof seed);
    return TestMaker(seed);
  }

  const MakerPublicKey& PublicKey() const { return public_; }
  std::string PublicHex() const { return LowerHex(public_.data(), public_.size()); }

  ReleaseSignature SignBytes(const std::string& bytes) const {
    ReleaseSignature signature{};
    crypto_sign_detached(signature.data(), nullptr,
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                         secret_);
    return signature;
  }
  SignedReleaseText Sign(const std::string& statement) const {
    const ReleaseSignature signature = SignBytes(statement);
    return {statement, LowerHex(signature.data(), signature.size())};
  }

 private:
  explicit TestMaker(const uint8_t seed[32]) { Init(seed); }
  void Init(const uint8_t seed[32]) {
    if (sodium_init() < 0) return;  // the tests then fail on every signature
    crypto_sign_seed_keypair(public_.data(), secret_, seed);
  }

  MakerPublicKey public_{};
  uint8_t secret_[64] = {};
};

// A statement for `bytes` (their length and SHA-256), valid from an hour
// ago for `days` days.
inline ReleaseStatement StatementFor(const std::string& bytes, const std::string& version,
                                     const std::string& product = "morvantile",
                                     int64_t signedAt = static_cast<int64_t>(std::time(nullptr)) -
                                                        3600,
                                     int64_t days = 30) {
  ReleaseStatement s;
  s.format = kReleaseFormatVersion;
  s.product = product;
  s.version = version;
  s.size = static_cast<int64_t>(bytes.size());
  crypto_hash_sha256(s.sha256.data(), reinterpret_cast<const unsigned char*>(bytes.data()),
                     bytes.size());
  s.signedAt = signedAt;
  s.expiresAt = signedAt + days * 24 * 3600;
  return s;
}

// The release of `bytes` signed with `maker`, as the package record or a
// detached ".sig" carries it.
inline SignedReleaseText SignedReleaseFor(const TestMaker& maker, const std::string& bytes,
                                          const std::string& version) {
  return maker.Sign(FormatReleaseStatement(StatementFor(bytes, version)));
}

}  // namespace pelmar::testing
