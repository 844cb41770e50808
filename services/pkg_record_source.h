#pragma once

#include <string>
#include <utility>

#include "services/pkg_record.h"
#include "services/record_reader_thread.h"

namespace pelmar {

// Asks for the package record: the SDK-built request to the support host,
// then to its fixed address, every retry pause until an answer comes or a
// stop is requested; then opens the envelope and reads the payload.
class PkgRecordSource : public IRecordSource<PkgRecord> {
 public:
  explicit PkgRecordSource(PkgInfoSettings settings) : settings_(std::move(settings)) {}

  // Always true when it returns: there is always a request to send.
  bool Read(CServerExchange* exchange, PkgRecord* record) override;

 private:
  // The first non-empty answer; throws "user cancel" when stopped first.
  std::string FetchAnswer(CServerExchange* exchange, const std::string& request);
  std::string TryExchange(CServerExchange* exchange, const ServerEndpoint& to,
                          const std::string& request);

  PkgInfoSettings settings_;
};

// The package reader by its familiar name: CPkgInfo starts one at once.
using CReadPkgInfoThread = CRecordReaderThread<PkgRecord>;

}  // namespace pelmar
