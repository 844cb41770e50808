// Feeds network bytes to the range answer reader in data-derived pieces and
// checks what it must never do: hand out data before accepting a header, more
// data than the range asked for, or different data for another split.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/range_response.h"

namespace {

std::string Run(int64_t position, int64_t end, const uint8_t* data, size_t size, size_t step,
                pelmar::CRangeResponse::State* state) {
  pelmar::CRangeResponse r(position, end);
  std::string out;
  for (size_t at = 0; at < size;) {
    const size_t n = std::min(step, size - at);
    const bool header_before = r.IsHeaderPending();
    const pelmar::CRangeResponse::Slice s = r.Feed(reinterpret_cast<const char*>(data) + at, n);
    if (s.offset > n || s.length > n - s.offset) std::abort();
    if (s.length > 0) {
      const auto st = r.GetState();
      if (st != pelmar::CRangeResponse::State::kBody &&
          st != pelmar::CRangeResponse::State::kComplete) {
        std::abort();
      }
      if (!header_before && s.offset != 0) std::abort();
    }
    out.append(reinterpret_cast<const char*>(data) + at + s.offset, s.length);
    at += n;
  }
  *state = r.GetState();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // First bytes choose the asked range and the piece size.
  const int64_t position = data[0];
  const int64_t end = position + data[1];
  const size_t step = 1 + data[2] % 64;
  data += 3;
  size -= 3;
  pelmar::CRangeResponse::State whole_state, split_state;
  const std::string whole = Run(position, end, data, size, size ? size : 1, &whole_state);
  const std::string split = Run(position, end, data, size, step, &split_state);
  if (whole != split || whole_state != split_state) std::abort();
  if (static_cast<int64_t>(whole.size()) > end - position + 1) std::abort();
  return 0;
}
