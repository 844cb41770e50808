#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "services/request_sealer.h"
#include "services/server_exchange.h"

namespace pelmar {

// The package record the support server announces: which setup program to
// fetch, how big it is, its digest and the ranked download URLs.

// Used until the server says otherwise (and when it says 0).
inline constexpr int64_t kDefaultPackageSize = 48560128;
inline constexpr int64_t kDefaultOriginSize = 261485343;
// A package answer or payload larger than this is not a package record: the
// real one is a few hundred bytes; the bound keeps parsing cheap.
inline constexpr size_t kMaxPkgRecordBytes = 1024 * 1024;
// More URL entries than any index hands out; a payload with more is refused.
inline constexpr size_t kMaxPkgUrls = 4096;

struct PkgUrlEntry {
  int32_t id = 0;
  std::string url;
  uint32_t rank = 0;
};

struct PkgRecord {
  std::string packageName;
  std::string version;
  int64_t size = kDefaultPackageSize;
  int64_t originSize = kDefaultOriginSize;
  std::string md5;
  std::vector<PkgUrlEntry> urls;
  // The maker's signed release statement for the setup program, beside
  // "info" and "urls" (base/release_statement.h): the statement text and
  // its signature as hexadecimal text; empty when the payload has none.
  std::string releaseStatement;
  std::string releaseSignature;
};

// The payload members carrying the signed release statement; a payload
// without them is still a package record (a reader that does not know them
// ignores them), and one with a value that is not a string counts as none.
inline constexpr const char* kPkgReleaseStatementMember = "release_statement";
inline constexpr const char* kPkgReleaseSignatureMember = "release_signature";

// The request body, written by the JSON library's styled writer; an empty
// version is sent as "0.9.0.1".
std::string BuildPkgRequestBody(const std::string& versionUtf8);

// Opens the answer's JSON envelope: on success `data` holds the string value
// of "data" and the result is empty; otherwise the result is the failure text
// ("Json parse error", "member doesn't exit"). Reads nothing outside `body`.
std::string OpenPkgEnvelope(std::string_view body, std::string* data);

// Reads an opened payload into `record` (a fresh record with the defaults):
// empty result on success, else the failure text ("decrypt data empty",
// "parse decrypt data error", "member not exist", "conversion error") with
// `record` untouched. URL entries stay in array order.
std::string ParsePkgPayload(std::string_view payload, PkgRecord* record);

// Highest rank first; entries of equal rank keep their order (the order a
// bubble sort gives that swaps neighbours only on a strictly smaller rank).
void SortUrlsByRank(std::vector<PkgUrlEntry>* urls);

// A size member: numbers and numeric strings read as a leading decimal in
// the manner of "%lld"; 0, a negative value or text without digits keeps
// `fallback`.
int64_t PkgSizeFromText(std::string_view text, int64_t fallback);

// The installer's product version from its version resource, as UTF-8;
// "0.9.0.1" when it has none (natively always).
std::string InstallerVersionForRequests();

// What the package reader needs from the outside; the defaults are the
// product's (support host and fixed address from the build configuration,
// the envelope of the sealer handed in).
struct PkgInfoSettings {
  ServerEndpoint supportHost;
  ServerEndpoint supportIp;
  int retryPauseMs = 300;
  int timeLimitMs = 5000;
  // The complete HTTP request for a path and plain body ("" on failure).
  std::function<std::string(const std::string& path, const std::string& body)> buildRequest;
  // The plain payload of a sealed "data" string ("" when it does not open).
  std::function<std::string(const std::string& data)> openPayload;
  // UTF-8 product version for the request ("" means "0.9.0.1").
  std::function<std::string()> version;
};
// `sealer` must outlive the reader; null: no request can be built, and the
// read fails with "build send data error".
PkgInfoSettings DefaultPkgInfoSettings(IRequestSealer* sealer);

inline constexpr const char* kPkgIndexPath = "/installer/package/index";

}  // namespace pelmar
