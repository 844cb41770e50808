// Properties: decoding in data-derived pieces, or by exactly the bytes the
// decoder asks for (as the client reads), gives the same status, body and
// consumption as decoding whole; done and error are final; the body stays
// under its cap.
#include <cstdlib>
#include <string>

#include "net/chunked_decoder.h"

namespace {

struct Result {
  pelmar::CChunkedDecoder::Status status;
  std::string body;
  size_t used;
};

Result Whole(const std::string& wire) {
  pelmar::CChunkedDecoder d;
  Result r;
  r.used = d.Feed(wire.data(), wire.size(), &r.body);
  r.status = d.GetStatus();
  if (d.BodyBytes() != r.body.size()) abort();
  return r;
}

Result InPieces(const std::string& wire, size_t step) {
  pelmar::CChunkedDecoder d;
  Result r{};
  for (size_t pos = 0; pos < wire.size();) {
    const size_t n = std::min(step, wire.size() - pos);
    const size_t used = d.Feed(wire.data() + pos, n, &r.body);
    r.used += used;
    if (used < n && d.GetStatus() == pelmar::CChunkedDecoder::Status::kNeedMore) abort();
    pos += n;
    step = step * 3 % 29 + 1;  // vary the piece sizes
  }
  r.status = d.GetStatus();
  return r;
}

Result AsTheClientReads(const std::string& wire) {
  pelmar::CChunkedDecoder d;
  Result r{};
  while (d.GetStatus() == pelmar::CChunkedDecoder::Status::kNeedMore && r.used < wire.size()) {
    const size_t want = std::min(d.BytesWanted(), wire.size() - r.used);
    if (want == 0) abort();
    if (d.Feed(wire.data() + r.used, want, &r.body) != want) abort();
    r.used += want;
  }
  r.status = d.GetStatus();
  if (r.status != pelmar::CChunkedDecoder::Status::kNeedMore && d.BytesWanted() != 0) abort();
  return r;
}

bool Same(const Result& a, const Result& b) {
  if (a.status != b.status) return false;
  if (a.status == pelmar::CChunkedDecoder::Status::kError)
    return true;  // partial bodies may differ
  return a.body == b.body && a.used == b.used;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string wire(reinterpret_cast<const char*>(data + 1), size - 1);
  const Result whole = Whole(wire);
  if (whole.body.size() > pelmar::kMaxHttpBodyBytes || whole.used > wire.size()) abort();
  if (!Same(whole, InPieces(wire, data[0] % 13 + 1))) abort();
  if (!Same(whole, AsTheClientReads(wire))) abort();

  // Final states stay final.
  pelmar::CChunkedDecoder d;
  std::string body;
  (void)d.Feed(wire.data(), wire.size(), &body);
  if (d.GetStatus() != pelmar::CChunkedDecoder::Status::kNeedMore &&
      d.Feed("0\r\n\r\n", 5, &body) != 0)
    abort();
  return 0;
}
