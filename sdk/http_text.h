#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmar::vek {

// "Host" header value: the port is left out when it is 80.
std::string HostHeader(const std::string& host, int port);

// The signed package request of vekBuildHttpData.
std::string BuildSignedRequest(const std::string& host, int port, const std::string& appId,
                               const std::string& appKey, const std::string& version,
                               const std::string& path, std::string_view body);

// The uploader's POST of one batch to the sensor path.
std::string BuildUploadRequest(const std::string& host, int port, const std::string& appId,
                               const std::string& sensorPath, std::string_view body);

// The collector's answer must be small; anything longer is not an ack.
inline constexpr size_t kMaxAckResponse = 64 * 1024;

// Parses a complete HTTP/1.x response read until the server closed: status
// 200 and a JSON body {"code": 0, "accepted": n}. Body framing: Content-Length
// or chunked or up to the close. True with `accepted` set; false otherwise.
// Reads nothing outside `response`.
[[nodiscard]] bool ParseUploadAck(std::string_view response, size_t* accepted);

}  // namespace pelmar::vek
