#pragma once

// The maker's release statement: the short text the maker signs for every
// setup program it publishes, naming exactly the bytes the installer may
// start. This header is the one place that defines its bytes and limits;
// the parser does no I/O and refuses anything it does not define.
//
// A statement is seven lines, in this order, each "key=value" and each
// ended by one LF (no CR, no blank line, nothing before or after):
//
//   pelmar-release=1                 format version (only 1 exists)
//   product=morvantile               product identifier
//   version=1.0.0.1                  dotted decimals, 1 to 4 parts
//   size=1048577                     bytes of the setup program
//   sha256=<64 lower-case hex>       SHA-256 of the setup program
//   signed=1717171717                signing time, Unix seconds (UTC)
//   expires=1748707717               end of validity, Unix seconds (UTC)
//
// Numbers are decimal without sign or leading zero; every byte is printable
// ASCII (so the text is UTF-8). The maker's Ed25519 signature covers exactly
// these bytes. Where a statement travels on its own (the detached
// "<address>.sig" beside a download), one more line follows it:
//
//   signature=<128 lower-case hex>   the 64-byte Ed25519 signature
//
// In the package record the two travel as the payload members
// "release_statement" (the statement text) and "release_signature" (the
// 128 hex characters).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// --- limits ---------------------------------------------------------------
inline constexpr int kReleaseFormatVersion = 1;
inline constexpr size_t kReleaseLineCount = 7;
// A genuine statement is under 250 bytes; anything longer is refused unread.
inline constexpr size_t kMaxReleaseStatementBytes = 512;
// The detached form: the statement and its signature line.
inline constexpr size_t kReleaseSignatureLineBytes = 10 + 128 + 1;  // "signature=" hex LF
inline constexpr size_t kMaxSignedReleaseBytes =
    kMaxReleaseStatementBytes + kReleaseSignatureLineBytes;
inline constexpr size_t kMaxReleaseProductBytes = 32;
inline constexpr size_t kMaxReleaseVersionParts = 4;
inline constexpr uint32_t kMaxReleaseVersionPart = 65535;  // a Windows version part
inline constexpr int64_t kMaxReleaseSize = int64_t{1} << 32;  // 4 GiB
inline constexpr int64_t kMaxReleaseTime = 9999999999;        // ten digits (year 2286)
// How long one signature may vouch for a release: a statement valid for
// longer is refused, so an old release cannot be replayed for ever.
inline constexpr int64_t kMaxReleaseValiditySeconds = int64_t{400} * 24 * 3600;
inline constexpr size_t kReleaseSha256Bytes = 32;
inline constexpr size_t kReleaseSignatureBytes = 64;
inline constexpr size_t kMakerPublicKeyBytes = 32;

using ReleaseSha256 = std::array<uint8_t, kReleaseSha256Bytes>;
using ReleaseSignature = std::array<uint8_t, kReleaseSignatureBytes>;
using MakerPublicKey = std::array<uint8_t, kMakerPublicKeyBytes>;

// The keys, in their order.
inline constexpr const char* kReleaseKeys[kReleaseLineCount] = {
    "pelmar-release", "product", "version", "size", "sha256", "signed", "expires"};

struct ReleaseStatement {
  int format = 0;
  std::string product;
  std::string version;                // as written
  std::vector<uint32_t> versionParts;  // the same, read
  int64_t size = 0;
  ReleaseSha256 sha256{};
  int64_t signedAt = 0;
  int64_t expiresAt = 0;
};

// Why a text is not a statement.
enum class ReleaseParseError {
  kNone = 0,
  kTooLong,     // over kMaxReleaseStatementBytes
  kBadLine,     // a line without "=", a CR, a byte outside printable ASCII, no final LF
  kUnknownKey,  // a key the format does not define
  kDuplicateKey,
  kOutOfOrder,  // a defined key in another place
  kMissingKey,  // fewer than seven lines
  kBadValue,    // a value outside its rule (or expiry not after signing, or too far)
};

// Parses exactly the format above into `out` (untouched on failure).
ReleaseParseError ParseReleaseStatement(std::string_view text, ReleaseStatement* out);
const char* ReleaseParseErrorName(ReleaseParseError error);

// The statement's text in the format above (for the maker's side and the
// tests); `versionParts` is ignored, `version` is written as given.
std::string FormatReleaseStatement(const ReleaseStatement& statement);

// The statement and signature as they travel, not yet checked.
struct SignedReleaseText {
  std::string statement;     // the signed bytes
  std::string signatureHex;  // 128 lower-case hexadecimal characters
  bool empty() const { return statement.empty() && signatureHex.empty(); }
};

// Splits the detached form (statement, then "signature=<hex>" LF as the last
// line). False when the text is longer than kMaxSignedReleaseBytes or has no
// such last line; the statement itself is not parsed here.
bool SplitDetachedRelease(std::string_view text, SignedReleaseText* out);
// The detached form of a statement and its signature.
std::string JoinDetachedRelease(const SignedReleaseText& release);

// Lower-case hexadecimal of exactly `out.size()` bytes; false otherwise.
bool ParseLowerHex(std::string_view hex, uint8_t* out, size_t size);
std::string LowerHex(const uint8_t* bytes, size_t size);

// Reads "1.2.3.4" (1 to kMaxReleaseVersionParts decimal parts, each at most
// kMaxReleaseVersionPart, no leading zero); false for anything else.
bool ParseDottedVersion(std::string_view text, std::vector<uint32_t>* parts);
// Orders two versions, missing parts counting as 0: <0, 0 or >0.
int CompareVersionParts(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b);

}  // namespace pelmar
