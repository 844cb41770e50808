#include "base/release_check.h"

#include <sodium.h>

namespace pelmar {
namespace {

// The installed version as the machine reports it ("1.0.0.1", perhaps with
// leading zeros); false when it is no version at all.
bool ReadInstalledVersion(const std::string& text, std::vector<uint32_t>* parts) {
  std::vector<uint32_t> read;
  size_t at = 0;
  for (;;) {
    const size_t dot = text.find('.', at);
    const std::string part = text.substr(at, dot == std::string::npos ? dot : dot - at);
    if (part.empty() || part.size() > 10 || read.size() == kMaxReleaseVersionParts) return false;
    uint64_t value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    read.push_back(value > kMaxReleaseVersionPart ? kMaxReleaseVersionPart
                                                  : static_cast<uint32_t>(value));
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  *parts = std::move(read);
  return true;
}

}  // namespace

const char* ReleaseVerdictName(ReleaseVerdict verdict) {
  switch (verdict) {
    case ReleaseVerdict::kValid:
      return "valid";
    case ReleaseVerdict::kNoStatement:
      return "no statement";
    case ReleaseVerdict::kMalformed:
      return "malformed statement";
    case ReleaseVerdict::kBadSignature:
      return "bad signature";
    case ReleaseVerdict::kOtherProduct:
      return "other product";
    case ReleaseVerdict::kExpired:
      return "expired";
    case ReleaseVerdict::kOlderThanInstalled:
      return "older than installed";
    case ReleaseVerdict::kSizeMismatch:
      return "size mismatch";
    case ReleaseVerdict::kSha256Mismatch:
      return "sha256 mismatch";
  }
  return "?";
}

bool ParseMakerKeys(const std::vector<std::string>& hex, std::vector<MakerPublicKey>* keys) {
  if (hex.empty() || hex.size() > kMaxPinnedMakerKeys) return false;
  std::vector<MakerPublicKey> read(hex.size());
  for (size_t i = 0; i < hex.size(); ++i) {
    if (!ParseLowerHex(hex[i], read[i].data(), read[i].size())) return false;
  }
  *keys = std::move(read);
  return true;
}

ReleaseVerdict CheckSignedRelease(const SignedReleaseText& release, const ReleaseTrust& trust,
                                  ReleaseStatement* statement) {
  if (release.statement.empty() && release.signatureHex.empty()) {
    return ReleaseVerdict::kNoStatement;
  }
  ReleaseSignature signature{};
  ReleaseStatement parsed;
  if (ParseReleaseStatement(release.statement, &parsed) != ReleaseParseError::kNone ||
      !ParseLowerHex(release.signatureHex, signature.data(), signature.size())) {
    return ReleaseVerdict::kMalformed;
  }
  // Nothing the statement says counts before a pinned key is found to have
  // signed exactly these bytes.
  // No sodium_init(): verification and SHA-256 keep no state and pick no
  // implementation at run time, and the call would link every algorithm
  // libsodium chooses between at start (Argon2, BLAKE2b, Poly1305, ChaCha20,
  // Salsa20) into install.exe.
  if (trust.keys.empty()) return ReleaseVerdict::kBadSignature;
  bool signedByMaker = false;
  for (size_t i = 0; i < trust.keys.size() && i < kMaxPinnedMakerKeys && !signedByMaker; ++i) {
    signedByMaker = crypto_sign_verify_detached(
                        signature.data(),
                        reinterpret_cast<const unsigned char*>(release.statement.data()),
                        release.statement.size(), trust.keys[i].data()) == 0;
  }
  if (!signedByMaker) return ReleaseVerdict::kBadSignature;
  if (parsed.product != trust.product) return ReleaseVerdict::kOtherProduct;
  if (trust.now >= parsed.expiresAt) return ReleaseVerdict::kExpired;
  std::vector<uint32_t> installed;
  if (!trust.installedVersion.empty() && ReadInstalledVersion(trust.installedVersion, &installed) &&
      CompareVersionParts(parsed.versionParts, installed) < 0) {
    return ReleaseVerdict::kOlderThanInstalled;
  }
  if (statement != nullptr) *statement = std::move(parsed);
  return ReleaseVerdict::kValid;
}

ReleaseVerdict CheckReleaseBytes(const ReleaseStatement& statement, int64_t size,
                                 const ReleaseSha256& sha256) {
  if (statement.size != size) return ReleaseVerdict::kSizeMismatch;
  // Both digests are public; no secret hides in the comparison's time.
  if (statement.sha256 != sha256) return ReleaseVerdict::kSha256Mismatch;
  return ReleaseVerdict::kValid;
}

}  // namespace pelmar
