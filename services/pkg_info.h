#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/x_mutex.h"
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
// the event logger's envelope functions).
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
PkgInfoSettings DefaultPkgInfoSettings();

inline constexpr const char* kPkgIndexPath = "/installer/package/index";

class IPkgInfo {
 public:
  virtual ~IPkgInfo() = default;
  // 0 while the reader runs, 1 once the record is stored, 2 when it failed.
  virtual int Status() = 0;
  virtual int64_t Size() = 0;
  // Space the installed product needs, in bytes.
  virtual int64_t OriginSize() = 0;
  // Copies taken under the lock; empty when absent.
  virtual std::string Version() = 0;
  virtual size_t UrlCount() = 0;
  // Highest rank first; empty when `index` is not below UrlCount().
  virtual std::string UrlAt(size_t index) = 0;
  virtual std::string Md5() = 0;
  // The signed release statement and its signature (hexadecimal); empty
  // when the record has none.
  virtual std::string ReleaseStatement() = 0;
  virtual std::string ReleaseSignature() = 0;
  // Empties the strings and the URL list, both sizes 0.
  virtual void Reset() = 0;
};

class CReadPkgInfoThread;

// Threads: the reader writes the record once under `mutex_`; any thread reads
// it through the accessors, which take the same lock and return copies.
class CPkgInfo : public IPkgInfo {
 public:
  // Starts the reader at once.
  explicit CPkgInfo(PkgInfoSettings settings = DefaultPkgInfoSettings());
  // Stops the reader (waking a pause or a blocked exchange) and waits for it.
  ~CPkgInfo() override;
  CPkgInfo(const CPkgInfo&) = delete;
  CPkgInfo& operator=(const CPkgInfo&) = delete;

  int Status() override { return status_.load(); }
  int64_t Size() override;
  int64_t OriginSize() override;
  std::string Version() override;
  size_t UrlCount() override;
  std::string UrlAt(size_t index) override;
  std::string Md5() override;
  std::string ReleaseStatement() override;
  std::string ReleaseSignature() override;
  void Reset() override;

  // The reader's failure text ("" while running or after success).
  std::string LastFailure();
  // One stop request without waiting; the destructor repeats it until the
  // reader has ended, then waits.
  void RequestStop();
  // Stops the reader and waits for it; the record stays readable.
  void StopReader();
  // Stops the reader, waiting at most `milliseconds`. False when it is still
  // running: the record is then abandoned, and the process record is left
  // to the process exit instead of being destroyed under its thread.
  [[nodiscard]] bool StopReaderWithin(int milliseconds);
  bool Abandoned() const { return abandoned_.load(); }

 private:
  friend class CReadPkgInfoThread;
  void Store(const PkgRecord& record);
  void Fail(const std::string& text);

  std::atomic<int> status_{0};
  CXMutex mutex_;
  PkgRecord record_;     // guarded by mutex_
  std::string failure_;  // guarded by mutex_
  std::unique_ptr<CReadPkgInfoThread> reader_;
  std::atomic<bool> abandoned_{false};
};

// The process's package record, created (and its reader started) on first
// call; stopped and destroyed at process exit. Null only when it could not be
// made.
IPkgInfo* GetPkgInfo();
// Stops the process record's reader, when the record was made, waiting at
// most `milliseconds`; true when no reader is left running. The quit
// sequence calls it before the process entry returns; a reader still inside
// a connect or a name lookup after that is left to the process exit, with
// its record (see CPkgInfo::StopReaderWithin).
[[nodiscard]] bool StopPkgInfoReader(int milliseconds);

}  // namespace pelmar
