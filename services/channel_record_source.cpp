#include "services/channel_record_source.h"

#include <algorithm>
#include <string>

#include "net/url_component.h"

namespace pelmar {

RecordRead ChannelRecordSource::Read(CServerExchange& exchange, CStopToken& stop,
                                     ChannelRecord* record) {
  const std::string channel = settings_.channel ? settings_.channel() : std::string();
  if (channel.empty()) return RecordRead::Nothing();
  // The channel comes from the installer's file name: encoded, a "#" or a
  // space in it can neither cut the query short nor split the request line.
  const std::string path = std::string(kChannelPath) + EncodeUrlComponent(channel);
  std::string body;
  for (int attempt = 0; attempt < kChannelAttempts; ++attempt) {
    if (attempt > 0 && !stop.WaitFor(static_cast<uint32_t>(std::max(settings_.retryPauseMs, 0)))) {
      return RecordRead::Stopped();
    }
    // A failed exchange counts as an empty answer.
    body = exchange
               .Get(stop, settings_.gateway, settings_.timeLimitMs, settings_.hostText, path,
                    kMaxChannelRecordBytes)
               .body;
    if (!body.empty()) break;
    if (stop.StopRequested()) return RecordRead::Stopped();
  }
  const std::string failure = ParseChannelRecord(body, record);
  if (!failure.empty()) return RecordRead::Failed(failure);
  return RecordRead::Record();
}

}  // namespace pelmar
