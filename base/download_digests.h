#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/md5.h"
#include "base/release_statement.h"

namespace pelmar {

class CHeldFile;

// The digests of a setup program, fed once: the record's MD5 (checked
// against the package digest) and the SHA-256 the maker's release statement
// names, side by side, so the bytes are read a single time. This is the one
// place where a download's bytes are digested; a faster download path feeds
// the same object with what it writes instead of reading the file again.
class CDownloadDigests {
 public:
  CDownloadDigests();
  ~CDownloadDigests();
  CDownloadDigests(const CDownloadDigests&) = delete;
  CDownloadDigests& operator=(const CDownloadDigests&) = delete;

  void Update(const void* data, size_t size);
  // Ends both digests; the object must not be fed afterwards.
  void Finish();

  int64_t Size() const { return size_; }
  // 32 lower-case hexadecimal characters; empty for no bytes (as Md5OfFile).
  const std::string& Md5() const { return md5_; }
  const ReleaseSha256& Sha256() const { return sha256_; }

 private:
  struct Sha256State;
  CMd5 md5_state_;
  std::unique_ptr<Sha256State> sha256_state_;
  int64_t size_ = 0;
  std::string md5_;
  ReleaseSha256 sha256_{};
};

// Both digests of a held file, read from its first byte in pieces of
// kDigestPieceBytes; false on a read error (the digests are then unusable).
inline constexpr size_t kDigestPieceBytes = 64 * 1024;
bool DigestHeldFile(CHeldFile& file, CDownloadDigests* digests);

}  // namespace pelmar
