#include "net/parse_url.h"

#include <vector>

#include "base/pelmar_error.h"
#include "net/http_response_header.h"
#include "net/net_events.h"

namespace pelmar {
namespace {

std::vector<std::string_view> SplitDroppingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      if (i > start) pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pieces;
}

}  // namespace

UrlParts SplitUrl(std::string_view url) {
  if (url.size() > kMaxUrlBytes) throw PelmarError("invalid url");
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
