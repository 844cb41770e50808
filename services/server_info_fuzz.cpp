// Feeds untrusted bytes to the channel record reader. Properties: a failure
// leaves the record untouched; the result is deterministic; a body too short
// to hold a record stores nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/server_info.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  using namespace pelmar;

  ChannelRecord record;
  record.appName = "untouched";
  const std::string failure = ParseChannelRecord(input, &record);
  if (!failure.empty()) {
    Check(record.appName == "untouched");
    return 0;
  }
  ChannelRecord again;
  Check(ParseChannelRecord(input, &again).empty());
  Check(again.appId == record.appId && again.appName == record.appName &&
        again.welcomeUrl == record.welcomeUrl &&
        again.advertisingAccountName == record.advertisingAccountName &&
        again.attribution == record.attribution);
  // Without the member names nothing can be stored (JSON escapes cannot
  // spell a name with fewer letters than it has).
  if (input.size() < 12) Check(record.appId.empty() && record.appName.empty());
  return 0;
}
