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
#include "services/pkg_record.h"
#include "services/record_reader_thread.h"

namespace pelmar {

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

// Threads: the reader writes the record once under `mutex_`; any thread reads
// it through the accessors, which take the same lock and return copies.
class CPkgInfo : public IPkgInfo, private IRecordKeeper<PkgRecord> {
 public:
  // Starts the reader at once, reading from `source`.
  explicit CPkgInfo(std::unique_ptr<IRecordSource<PkgRecord>> source);
  // Starts the reader at once, asking the support server as `settings` say.
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
  void Store(const PkgRecord& record) override;
  void Finish() override;
  void Fail(const std::string& text) override;

  std::atomic<int> status_{0};
  CXMutex mutex_;
  PkgRecord record_;     // guarded by mutex_
  std::string failure_;  // guarded by mutex_
  std::unique_ptr<CRecordReaderThread<PkgRecord>> reader_;
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
