// Fuzzes the upload acknowledgement parser: no read outside the input (the
// copy is exactly as long as the data), the answer depends only on the bytes,
// and a length-framed acknowledgement ignores whatever follows its body.
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
  // Re-frame an accepted count by length: trailing junk must not matter.
  if (ok) {
    const std::string body = "{\"code\":0,\"accepted\":" + std::to_string(accepted) + "}";
    const std::string framed = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\n\r\n" + body + input;
    size_t reframed = 0;
    if (!pelmar::vek::ParseUploadAck(framed, &reframed) || reframed != accepted) {
      // Only a framed message over the size limit may fail.
      if (framed.size() <= pelmar::vek::kMaxAckResponse) std::abort();
    }
  }
  return 0;
}
