#pragma once

#include <string>

namespace pelmar {

// The service SDK's envelope for the support host: seals a request and opens
// (authenticates) an answer.
class IRequestSealer {
 public:
  virtual ~IRequestSealer() = default;
  // The complete HTTP request for the support host, or "" on any failure.
  virtual std::string BuildHttpData(const std::string& path, const std::string& body) = 0;
  // The opened (authenticated) payload, or "" on any failure.
  virtual std::string DecryptData(const std::string& body) = 0;
};

}  // namespace pelmar
