#pragma once

#include <string>

#include "sdk/spool_batch.h"

namespace pelmar::vek {

// The spool "spool.jsonl" in the SDK folder, shared by every process that
// loaded the SDK from that folder and by the uploader. A named mutex derived
// from the folder serialises them; appends are flushed to disk before they
// return, so a committed record survives a crash right after.
class CSpoolFile {
 public:
  explicit CSpoolFile(const std::wstring& folder);  // folder with trailing backslash
  ~CSpoolFile();
  CSpoolFile(const CSpoolFile&) = delete;
  CSpoolFile& operator=(const CSpoolFile&) = delete;

  // Waits at most kLockWaitMs: a crashing process must not hang on a holder
  // that will never let go. An abandoned mutex counts as taken.
  [[nodiscard]] bool Lock();
  void Unlock();

  // The following expect the lock held.
  // Appends `line` and "\n", first ending an unterminated last line (a write
  // cut short) so the new record starts a line of its own. False, writing
  // nothing, when the spool would pass kMaxSpoolBytes.
  [[nodiscard]] bool AppendLine(const std::string& line);
  // The spool, at most its first kMaxSpoolBytes (a file grown past the cap
  // by an older writer still gives its records); a missing file reads as
  // empty.
  [[nodiscard]] bool ReadAll(std::string* out);
  // Removes the first `bytes` bytes, replacing the file in one move; the rest
  // is copied whole, however long.
  [[nodiscard]] bool RemovePrefix(size_t bytes);

  const std::wstring& path() const { return path_; }

  static constexpr unsigned long kLockWaitMs = 10000;
  static constexpr uint64_t kMaxSpoolBytes = vek::kMaxSpoolBytes;

 private:
  std::wstring folder_;
  std::wstring path_;
  void* mutex_ = nullptr;
  bool held_ = false;
};

// Object names of the spool lock and of the running uploader for an SDK
// folder (the same folder always gives the same names).
std::wstring SpoolMutexName(const std::wstring& folder);
std::wstring UploaderMutexName(const std::wstring& folder);

}  // namespace pelmar::vek
