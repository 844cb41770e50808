// Properties: feeding the reader in data-derived pieces gives the same header
// as feeding it whole; it never takes more than the cap or anything after
// the blank line; the parsed result keeps its invariants.
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/http_response_header.h"

namespace {

void CheckParsed(const pelmar::HttpResponseHeader& h) {
  if (!h.status.empty() && h.status.size() != 3) abort();
  for (const std::string& line : h.lines) {
    if (line.empty() || line.find_first_of("\r\n") != std::string::npos) abort();
  }
  if (h.status.size() == 3 && (h.lines.empty() || h.lines[0].substr(9, 3) != h.status)) abort();
  if (!h.hasContentLength && h.contentLength != 0) abort();
  const pelmar::ContentRange& r = h.contentRange;
  if (r.valid && (r.first < 0 || r.first > r.last || (r.total >= 0 && r.last >= r.total))) abort();
  const int code = h.StatusCode();
  if (code < -1 || code > 999) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // First two bytes: the piece size pattern.
  const size_t step_a = data[0] % 17 + 1;
  const size_t step_b = data[1] % 251 + 1;
  const std::string wire(reinterpret_cast<const char*>(data + 2), size - 2);

  pelmar::CResponseHeaderReader whole;
  const size_t used_whole = whole.Feed(wire.data(), wire.size());

  pelmar::CResponseHeaderReader pieces;
  size_t used_pieces = 0;
  bool odd = false;
  for (size_t pos = 0; pos < wire.size();) {
    const size_t n = std::min(odd ? step_a : step_b, wire.size() - pos);
    used_pieces += pieces.Feed(wire.data() + pos, n);
    pos += n;
    odd = !odd;
  }
  if (used_whole != used_pieces || whole.Text() != pieces.Text() ||
      whole.IsComplete() != pieces.IsComplete() || whole.WasCut() != pieces.WasCut()) {
    abort();
  }
  if (used_whole > pelmar::kMaxResponseHeaderBytes) abort();
  if (whole.IsComplete() && !whole.WasCut()) {
    const std::string_view text = whole.Text();
    if (text.size() < 4 || text.substr(text.size() - 4) != "\r\n\r\n") abort();
    if (text.substr(0, text.size() - 1).find("\r\n\r\n") != std::string_view::npos) abort();
  }
  CheckParsed(whole.Parse());
  CheckParsed(pelmar::ParseResponseHeader(wire));
  return 0;
}
