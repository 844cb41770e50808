#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/pkg_record.h"
#include "services/record_holder.h"
#include "services/request_sealer.h"

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

// The package record of the support server, read once by its own reader
// (CRecordHolder: which threads enter it, how it stops).
class CPkgInfo : public IPkgInfo, public CRecordHolder<PkgRecord> {
 public:
  // Starts the reader at once, reading from `source`.
  explicit CPkgInfo(std::unique_ptr<IRecordSource<PkgRecord>> source);
  // Starts the reader at once, asking the support server as `settings` say.
  explicit CPkgInfo(PkgInfoSettings settings);

  int Status() override { return ReaderStatus(); }
  int64_t Size() override;
  int64_t OriginSize() override;
  std::string Version() override;
  size_t UrlCount() override;
  std::string UrlAt(size_t index) override;
  std::string Md5() override;
  std::string ReleaseStatement() override;
  std::string ReleaseSignature() override;
  void Reset() override;
};

// Makes the process's package record with the product's settings, its
// requests sealed by `sealer`, and starts its reader; a later call returns
// the same record. The sealer must outlive the record (the composition root
// makes it first, so it is destroyed after it). Stopped and destroyed at
// process exit. Null only when it could not be made.
IPkgInfo* StartPkgInfo(IRequestSealer* sealer);
// The process's package record once StartPkgInfo has made it, else null.
IPkgInfo* GetPkgInfo();
// Stops the process record's reader, when the record was made, waiting at
// most `milliseconds`; true when no reader is left running. The quit
// sequence calls it before the process entry returns; a reader still inside
// a connect or a name lookup after that is left to the process exit, with
// its record (see CPkgInfo::StopReaderWithin).
[[nodiscard]] bool StopPkgInfoReader(int milliseconds);

}  // namespace pelmar
