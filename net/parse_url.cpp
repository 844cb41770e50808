#include "net/parse_url.h"

#include <vector>

#include "base/number_text.h"
#include "base/pelmar_error.h"
#include "base/text_split.h"
#include "net/net_events.h"

namespace pelmar {
namespace {

// Host and path are copied into request lines as they are: a CR or LF there
// would end the line early and let the rest be read as headers of its own,
// and a space would split the request line.
bool FitsARequestLine(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool StartsWithHttpScheme(std::string_view url) {
  static constexpr std::string_view kScheme = "http://";
  if (url.size() <= kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  return url[kScheme.size()] != '/';
}

}  // namespace

bool IsPlainHttpAddress(std::string_view url) {
  return url.size() <= kMaxUrlBytes && StartsWithHttpScheme(url) && FitsARequestLine(url);
}

UrlParts SplitUrl(std::string_view url) {
  if (!IsPlainHttpAddress(url)) throw PelmarError("invalid url");
  const std::vector<std::string_view> pieces = SplitDroppingEmpty(url, '/');
  if (pieces.size() < 3) throw PelmarError("invalid url");

  UrlParts parts;
  const std::vector<std::string_view> authority = SplitDroppingEmpty(pieces[1], ':');
  if (authority.size() == 1) {
    parts.host = std::string(authority[0]);
    parts.port = 80;
  } else if (authority.size() == 2) {
    parts.host = std::string(authority[0]);
    // Read like "%lld" and cut to 16 bits, as the port text has always been read.
    parts.port =
        static_cast<uint16_t>(static_cast<uint64_t>(ParseDecimalLikeScanf(authority[1])) & 0xFFFF);
  } else {
    throw PelmarError("invalid host");
  }
  for (size_t i = 2; i < pieces.size(); ++i) {
    parts.path += '/';
    parts.path.append(pieces[i]);
  }
  return parts;
}

UrlParts ParseUrl(std::string_view url) {
  try {
    return SplitUrl(url);
  } catch (const PelmarError&) {
    SendDownloadInitFailedEvent();
    throw PelmarError("init url failed");
  }
}

}  // namespace pelmar
