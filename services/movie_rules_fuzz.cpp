// Feeds arbitrary installer-configuration bodies and picture addresses
// through the banner's rules and checks what must hold for any input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "services/movie_rules.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSplit(std::string_view url) {
  pelmar::GifLocation where;
  if (!pelmar::SplitGifUrl(url, &where)) return;
  Check(!where.host.empty());
  Check(where.port != 0);
  Check(!where.path.empty() && where.path[0] == '/');
  Check(where.host.find('/') == std::string::npos);
  Check(where.host.find(':') == std::string::npos);
  Check(where.path.find("//") == std::string::npos);
  // Nothing that could end or split the picture's request line.
  for (const std::string* text : {&where.host, &where.path}) {
    for (const char c : *text) {
      Check(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) != 0x7F);
    }
  }
  // Host and path come from the address: they are never longer than it.
  Check(where.host.size() + where.path.size() <= url.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string url = pelmar::ExtractGifUrl(input);
  if (size > pelmar::kMaxInstallerConfigBytes) Check(url.empty());
  CheckSplit(url);
  CheckSplit(input);

  // The same bytes as a delay table: a table whose length does not match the
  // count derived from the first byte must fail, one that does gives exactly
  // one bounded delay per frame.
  if (size >= 1) {
    const int count = data[0];
    std::vector<uint32_t> delays;
    const bool ok = pelmar::ReadFrameDelays(count, data + 1, size - 1, &delays);
    Check(ok == (count >= 1 && size - 1 == static_cast<size_t>(count) * 4));
    if (ok) {
      Check(delays.size() == static_cast<size_t>(count));
      for (uint32_t d : delays) {
        Check(d >= pelmar::kMinFrameDelayCs && d <= pelmar::kMaxFrameDelayCs);
      }
    }
  }
  return 0;
}
