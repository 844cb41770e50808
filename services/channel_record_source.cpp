#include "services/channel_record_source.h"

#include <exception>
#include <string>

#include "base/pelmar_error.h"
#include "net/url_component.h"

namespace pelmar {

bool ChannelRecordSource::Read(CServerExchange* exchange, ChannelRecord* record) {
  const std::string channel = settings_.channel ? settings_.channel() : std::string();
  if (channel.empty()) return false;
  // The channel comes from the installer's file name: encoded, a "#" or a
  // space in it can neither cut the query short nor split the request line.
  const std::string path = std::string(kChannelPath) + EncodeUrlComponent(channel);
  std::string body;
  for (int attempt = 0; attempt < kChannelAttempts; ++attempt) {
    if (attempt > 0 && !exchange->Pause(settings_.retryPauseMs)) throw PelmarError("user cancel");
    try {
      body = exchange->Get(settings_.gateway, settings_.timeLimitMs, settings_.hostText, path,
                           kMaxChannelRecordBytes);
    } catch (const std::exception&) {
      body.clear();  // a failed exchange counts as an empty answer
    }
    if (!body.empty()) break;
    if (exchange->StopRequested()) throw PelmarError("user cancel");
  }
  const std::string failure = ParseChannelRecord(body, record);
  if (!failure.empty()) throw PelmarError(failure);
  return true;
}

}  // namespace pelmar
