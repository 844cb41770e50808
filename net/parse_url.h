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

// The one check every address the installer asks for, follows or opens
// passes: "http://" (the scheme in any case), a first character of the
// authority that is no "/", and no byte that would end or split a request
// line (control characters, space, DEL) anywhere. Anything else is refused:
// "https" too, since there is no TLS here and fetching such an address as
// plain HTTP would hand its bytes to whoever sits on the path; "file:" and
// other schemes, a bare path or a program name would make the shell start a
// program instead of showing a page.
[[nodiscard]] bool IsPlainHttpAddress(std::string_view url);

// Splits at every "/" (empty pieces dropped): piece 0 is the scheme, piece 1
// the authority ("host" or "host:port"), the rest the path. An address that
// fails IsPlainHttpAddress is refused as "invalid url": host and path go
// into request lines unchanged.
// On failure sends the "init failed" download error event and raises
// PelmarError("init url failed").
UrlParts ParseUrl(std::string_view url);

// The same split without the event: raises PelmarError("invalid url") or
// PelmarError("invalid host"). ParseUrl wraps it.
UrlParts SplitUrl(std::string_view url);

}  // namespace pelmar
