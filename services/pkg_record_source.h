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

  // A record or a failure, never "nothing": there is always a request to send.
  RecordRead Read(CServerExchange& exchange, CStopToken& stop, PkgRecord* record) override;

 private:
  // The first non-empty answer; empty only when stopped first.
  std::string FetchAnswer(CServerExchange& exchange, CStopToken& stop, const std::string& request);
  // The answer's body; empty when the exchange failed or was stopped.
  std::string TryExchange(CServerExchange& exchange, const CStopToken& stop,
                          const ServerEndpoint& to, const std::string& request);

  PkgInfoSettings settings_;
};

// The package reader by its familiar name: CPkgInfo starts one at once.
using CReadPkgInfoThread = CRecordReaderThread<PkgRecord>;

}  // namespace pelmar
