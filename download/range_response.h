#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_response_header.h"

namespace pelmar {

// Reads one answer to "Range: bytes=<position>-<range end>" as its bytes
// arrive in pieces and tells which of them are file data.
//
// Only a real answer for the asked range is data: status 206 with a
// Content-Range whose first byte is the position asked for and whose last
// byte is not past the range end, framed by length (not chunked). Anything
// else (a whole-file 200, an error status, another range, a header that never
// ends within kMaxResponseHeaderBytes) is rejected before a byte is handed
// out. Header bytes are kept here until the header is complete, so no part of
// a header is ever taken as data; data past the answered range is dropped.
class CRangeResponse {
 public:
  enum class State {
    kHeader,    // header not complete yet
    kBody,      // accepted; Feed hands out data
    kComplete,  // every byte of the answered range was handed out
    kRedirect,  // 3xx with a Location: follow Location()
    kRejected,  // not an answer for this range; write nothing
  };

  // A slice of the bytes last given to Feed that is file data.
  struct Slice {
    size_t offset = 0;
    size_t length = 0;
  };

  CRangeResponse(int64_t position, int64_t range_end);

  // Takes the next received bytes. Never reads outside data[0..length).
  Slice Feed(const char* data, size_t length);

  State GetState() const { return state_; }
  bool IsHeaderPending() const { return state_ == State::kHeader; }
  // Location of a redirect, without leading spaces.
  const std::string& Location() const { return location_; }
  // Short English reason of a rejection, for diagnostics.
  const std::string& RejectReason() const { return reason_; }
  // Last byte offset the server promised (valid in kBody / kComplete).
  int64_t AnsweredLast() const { return answered_last_; }

 private:
  void Decide(const HttpResponseHeader& header, bool cut);
  void Reject(std::string reason);

  int64_t position_;
  int64_t range_end_;
  int64_t answered_last_ = -1;
  int64_t remaining_ = 0;  // data bytes still expected in kBody
  State state_ = State::kHeader;
  CResponseHeaderReader header_;
  std::string location_;
  std::string reason_;
};

}  // namespace pelmar
