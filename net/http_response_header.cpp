#include "net/http_response_header.h"

#include <algorithm>
#include <limits>

#include "base/number_text.h"

namespace pelmar {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Value of "Name: value" when the line's name equals `name` in any case.
bool HeaderValue(std::string_view line, std::string_view name, std::string_view* value) {
  const size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  if (!EqualsNoCase(Trim(line.substr(0, colon)), name)) return false;
  *value = Trim(line.substr(colon + 1));
  return true;
}

// Digits only, at most 18 of them so the value fits a signed 64-bit number.
bool ParseStrictNumber(std::string_view s, int64_t* out) {
  constexpr size_t kMaxDigits = 18;
  uint64_t v = 0;
  if (!ParseDecimalDigits(s, kMaxDigits, &v)) return false;
  *out = static_cast<int64_t>(v);
  return true;
}

ContentRange ParseContentRange(std::string_view value) {
  ContentRange r;
  r.present = true;
  constexpr std::string_view kUnit = "bytes";
  if (value.size() < kUnit.size() || !EqualsNoCase(value.substr(0, kUnit.size()), kUnit)) return r;
  value = Trim(value.substr(kUnit.size()));
  const size_t dash = value.find('-');
  const size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return r;
  int64_t first = 0, last = 0, total = -1;
  if (!ParseStrictNumber(Trim(value.substr(0, dash)), &first)) return r;
  if (!ParseStrictNumber(Trim(value.substr(dash + 1, slash - dash - 1)), &last)) return r;
  const std::string_view total_text = Trim(value.substr(slash + 1));
  if (total_text != "*" && !ParseStrictNumber(total_text, &total)) return r;
  if (first > last || (total >= 0 && last >= total)) return r;
  r.valid = true;
  r.first = first;
  r.last = last;
  r.total = total;
  return r;
}

bool EndsWithChunked(std::string_view value) {
  // "gzip, chunked": only the last coding decides how the body is framed.
  const size_t comma = value.rfind(',');
  if (comma != std::string_view::npos) value = Trim(value.substr(comma + 1));
  return EqualsNoCase(value, "chunked");
}

}  // namespace

int HttpResponseHeader::StatusCode() const {
  if (status.size() != 3) return -1;
  int v = 0;
  for (char c : status) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

HttpResponseHeader ParseResponseHeader(std::string_view block) {
  HttpResponseHeader h;
  size_t start = 0;
  for (size_t i = 0; i <= block.size(); ++i) {
    if (i == block.size() || block[i] == '\r' || block[i] == '\n') {
      if (i > start) h.lines.emplace_back(block.substr(start, i - start));
      start = i + 1;
    }
  }
  if (!h.lines.empty() && h.lines[0].size() > 11) h.status = h.lines[0].substr(9, 3);

  constexpr std::string_view kLength = "Content-Length:";
  constexpr std::string_view kLocation = "Location:";
  bool have_disposition = false, have_encoding = false;
  for (size_t n = 0; n < h.lines.size(); ++n) {
    const std::string_view line = h.lines[n];
    if (!h.hasContentLength && line.size() > kLength.size() &&
        line.substr(0, kLength.size()) == kLength) {
      h.hasContentLength = true;
      h.contentLength = ParseDecimalLikeScanf(line.substr(kLength.size()));
    }
    if (!h.hasLocation && line.substr(0, kLocation.size()) == kLocation) {
      std::string_view rest = line.substr(kLocation.size());
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      h.hasLocation = true;
      h.location = std::string(rest);
    }
    if (n == 0) continue;  // the status line carries no header fields
    std::string_view value;
    if (!h.contentRange.present && HeaderValue(line, "Content-Range", &value)) {
      h.contentRange = ParseContentRange(value);
    } else if (!have_disposition && HeaderValue(line, "Content-Disposition", &value)) {
      have_disposition = true;
      h.contentDisposition = std::string(value);
    } else if (!have_encoding && HeaderValue(line, "Transfer-Encoding", &value)) {
      have_encoding = true;
      h.transferEncoding = std::string(value);
      h.chunked = EndsWithChunked(value);
    }
  }
  return h;
}

size_t CResponseHeaderReader::Feed(const char* data, size_t length) {
  size_t used = 0;
  while (!complete_ && used < length) {
    text_.push_back(data[used++]);
    const size_t n = text_.size();
    if (n >= 4 && text_.compare(n - 4, 4, "\r\n\r\n") == 0) {
      complete_ = true;
      blank_line_ = true;
    } else if (n >= kMaxResponseHeaderBytes) {
      complete_ = true;
    }
  }
  return used;
}

}  // namespace pelmar
