// Feeds untrusted bytes to the package answer's envelope and payload readers.
// Properties: a failure leaves the record untouched; a success gives positive
// sizes and at most kMaxPkgUrls entries; reading is deterministic; sorting
// gives non-increasing ranks and keeps equal ranks in array order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/pkg_info.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  using namespace pelmar;

  std::string sealed = "untouched";
  const std::string envelope_failure = OpenPkgEnvelope(input, &sealed);
  if (!envelope_failure.empty()) Check(sealed == "untouched");

  PkgRecord record;
  record.md5 = "untouched";
  const std::string failure = ParsePkgPayload(input, &record);
  if (!failure.empty()) {
    Check(record.md5 == "untouched" && record.urls.empty());
    return 0;
  }
  Check(record.size > 0 && record.originSize > 0);
  Check(record.urls.size() <= kMaxPkgUrls);

  PkgRecord again;
  Check(ParsePkgPayload(input, &again).empty());
  Check(again.urls.size() == record.urls.size() && again.md5 == record.md5 &&
        again.size == record.size);

  // Number the entries by array position to check stability.
  for (size_t i = 0; i < record.urls.size(); ++i) record.urls[i].id = static_cast<int32_t>(i);
  SortUrlsByRank(&record.urls);
  for (size_t i = 1; i < record.urls.size(); ++i) {
    Check(record.urls[i - 1].rank >= record.urls[i].rank);
    if (record.urls[i - 1].rank == record.urls[i].rank)
      Check(record.urls[i - 1].id < record.urls[i].id);
  }
  return 0;
}
