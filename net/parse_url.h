#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelmar {

// An absolute URL split the simple way every exchange of the installer uses.
struct UrlParts {
  std::string host;  // as written, no case folding or decoding
  uint16_t port = 80;
  std::string path;  // always starts with "/"
};

// URLs longer than this are refused as "invalid url": ours are a few hundred
// bytes, and the limit keeps the split bounded whatever a redirect sends.
inline constexpr size_t kMaxUrlBytes = 8192;

// Splits at every "/" (empty pieces dropped): piece 0 is the scheme and is
// ignored, piece 1 the authority ("host" or "host:port"), the rest the path.
// A host or path holding a control character, a space or DEL is refused as
// "invalid url": both go into request lines unchanged.
// On failure sends the "init failed" download error event and raises
// PelmarError("init url failed").
UrlParts ParseUrl(std::string_view url);

// The same split without the event: raises PelmarError("invalid url") or
// PelmarError("invalid host"). ParseUrl wraps it.
UrlParts SplitUrl(std::string_view url);

}  // namespace pelmar
