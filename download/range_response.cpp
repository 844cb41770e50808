#include "download/range_response.h"

#include <algorithm>

namespace pelmar {

CRangeResponse::CRangeResponse(int64_t position, int64_t range_end)
    : position_(position), range_end_(range_end) {}

void CRangeResponse::Reject(std::string reason) {
  state_ = State::kRejected;
  reason_ = std::move(reason);
}

void CRangeResponse::Decide(const HttpResponseHeader& header, bool cut) {
  if (cut) return Reject("response header too long");
  const int code = header.StatusCode();
  if (code >= 300 && code <= 399) {
    if (!header.hasLocation || header.location.empty()) return Reject("redirect without Location");
    location_ = header.location;
    state_ = State::kRedirect;
    return;
  }
  if (code != 206) return Reject("status " + header.status + " is not a range answer");
  if (header.chunked) return Reject("chunked range answer");
  const ContentRange& r = header.contentRange;
  if (!r.valid) return Reject("missing or invalid Content-Range");
  if (r.first != position_) return Reject("Content-Range starts elsewhere");
  if (r.last > range_end_) return Reject("Content-Range ends past the range");
  answered_last_ = r.last;
  remaining_ = r.last - r.first + 1;
  state_ = State::kBody;
}

CRangeResponse::Slice CRangeResponse::Feed(const char* data, size_t length) {
  Slice slice;
  size_t used = 0;
  if (state_ == State::kHeader) {
    used = header_.Feed(data, length);
    if (!header_.IsComplete()) return slice;
    Decide(header_.Parse(), header_.WasCut());
  }
  if (state_ != State::kBody) return slice;
  const size_t available = length - used;
  const size_t take =
      static_cast<size_t>(std::min<int64_t>(remaining_, static_cast<int64_t>(available)));
  slice.offset = used;
  slice.length = take;
  remaining_ -= static_cast<int64_t>(take);
  if (remaining_ == 0) state_ = State::kComplete;
  return slice;
}

}  // namespace pelmar
