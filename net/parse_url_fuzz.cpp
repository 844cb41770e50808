// Properties: a URL either splits into a host without separators and a
// normalised path, or fails with one of the two texts; only an address the
// plain-http check accepts splits; a split URL rebuilt from its parts splits
// the same way again.
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/pelmar_error.h"
#include "net/parse_url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  pelmar::UrlParts parts;
  try {
    parts = pelmar::SplitUrl(url);
  } catch (const pelmar::PelmarError& e) {
    if (std::strcmp(e.what(), "invalid url") != 0 && std::strcmp(e.what(), "invalid host") != 0)
      abort();
    return 0;
  }
  if (!pelmar::IsPlainHttpAddress(url)) abort();
  if (parts.host.empty() || parts.host.find_first_of("/:") != std::string::npos) abort();
  if (parts.path.size() < 2 || parts.path[0] != '/' || parts.path.back() == '/') abort();
  if (parts.path.find("//") != std::string::npos) abort();
  // Nothing that could end or split a request line.
  for (const std::string* text : {&parts.host, &parts.path}) {
    for (const char c : *text) {
      if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) == 0x7F) abort();
    }
  }

  const std::string rebuilt =
      "http://" + parts.host + ":" + std::to_string(parts.port) + parts.path;
  if (rebuilt.size() > pelmar::kMaxUrlBytes) return 0;
  const pelmar::UrlParts again = pelmar::SplitUrl(rebuilt);
  if (again.host != parts.host || again.port != parts.port || again.path != parts.path) abort();
  return 0;
}
