// Fuzzes the envelope opener: never reads outside the input, a failure leaves
// the output untouched, and whatever opens re-seals to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sdk/envelope.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the key length, so some inputs are correctly sealed.
  const size_t keyLength = data[0] % 40;
  if (size - 1 < keyLength) return 0;
  const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
  const std::string input(reinterpret_cast<const char*>(data + 1 + keyLength),
                          size - 1 - keyLength);
  std::string out = "sentinel";
  if (pelmar::vek::Open(key, input, &out)) {
    if (pelmar::vek::Seal(key, out) != input) std::abort();
  } else if (out != "sentinel") {
    std::abort();
  }
  // A sealed copy of the raw input always opens to the input.
  std::string back;
  if (!pelmar::vek::Open(key, pelmar::vek::Seal(key, input), &back) || back != input) std::abort();
  return 0;
}
