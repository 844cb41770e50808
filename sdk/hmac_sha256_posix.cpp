#include "sdk/hmac_sha256.h"

namespace pelmar::vek {

Digest256 HmacSha256(std::string_view key, std::string_view message) {
  return ReferenceHmacSha256(key, message);
}

}  // namespace pelmar::vek
