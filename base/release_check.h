#pragma once

// Decides whether a signed release statement lets the installer start a
// setup program: the maker's Ed25519 signature (libsodium's
// crypto_sign_verify_detached) by one of the pinned keys, then the
// statement's product, expiry and version, then its size and SHA-256
// against the bytes. No I/O; the caller brings the time and the digests.

#include <cstdint>
#include <string>
#include <vector>

#include "base/release_statement.h"

namespace pelmar {

// Up to two keys are pinned, so that a key can be rotated: installers built
// with the old and the new key accept releases signed by either.
inline constexpr size_t kMaxPinnedMakerKeys = 2;

struct ReleaseTrust {
  std::vector<MakerPublicKey> keys;  // the pinned maker keys (at most two)
  std::string product;               // the product this installer installs
  int64_t now = 0;                   // Unix seconds
  // The installed product's version; empty or unreadable when nothing is
  // installed (then no version is too old).
  std::string installedVersion;
};

// Every refusal has its own verdict (and its own analytics text, download/).
enum class ReleaseVerdict {
  kValid = 0,
  kNoStatement,        // none was served
  kMalformed,          // not a statement (or not a signature) of the format
  kBadSignature,       // no pinned key signed these bytes
  kOtherProduct,       // signed for another product
  kExpired,            // its validity has ended
  kOlderThanInstalled, // a rollback below the installed version
  kSizeMismatch,       // another length than the bytes checked
  kSha256Mismatch,     // another SHA-256 than the bytes checked
};
const char* ReleaseVerdictName(ReleaseVerdict verdict);

// Reads the pinned keys from their hexadecimal texts; false when one is not
// 64 lower-case hexadecimal characters or there are none or more than two.
bool ParseMakerKeys(const std::vector<std::string>& hex, std::vector<MakerPublicKey>* keys);

// The statement alone, before any byte is fetched: form, signature,
// product, expiry and rollback. `statement` receives the parsed statement
// when the verdict is kValid.
ReleaseVerdict CheckSignedRelease(const SignedReleaseText& release, const ReleaseTrust& trust,
                                  ReleaseStatement* statement);
// A statement that passed CheckSignedRelease against the bytes checked.
ReleaseVerdict CheckReleaseBytes(const ReleaseStatement& statement, int64_t size,
                                 const ReleaseSha256& sha256);

}  // namespace pelmar
