#include "sdk/open_address.h"

namespace pelmar::vek {

// Longer than any page address the installer builds; a longer text is not one.
constexpr size_t kMaxOpenableAddressBytes = 8192;

bool IsOpenableAddress(std::string_view url) {
  static constexpr std::string_view kScheme = "http://";
  if (url.size() <= kScheme.size() || url.size() > kMaxOpenableAddressBytes) return false;
  for (size_t i = 0; i < kScheme.size(); ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return false;
  }
  if (url[kScheme.size()] == '/') return false;
  for (const char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || byte == '"') return false;
  }
  return true;
}

}  // namespace pelmar::vek
