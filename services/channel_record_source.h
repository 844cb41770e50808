#pragma once

#include <utility>

#include "services/channel_record.h"
#include "services/record_reader_thread.h"

namespace pelmar {

// Asks the gateway for the channel record: up to kChannelAttempts GETs, a
// retry pause apart. No channel, no request.
class ChannelRecordSource : public IRecordSource<ChannelRecord> {
 public:
  explicit ChannelRecordSource(ServerInfoSettings settings) : settings_(std::move(settings)) {}

  // Nothing when the run has no channel to ask about.
  RecordRead Read(CServerExchange& exchange, CStopToken& stop, ChannelRecord* record) override;

 private:
  ServerInfoSettings settings_;
};

// The channel reader by its familiar name: CServerInfo starts one at once.
using CReadServerInfoThread = CRecordReaderThread<ChannelRecord>;

}  // namespace pelmar
