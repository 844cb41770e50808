#pragma once

#include <string>

namespace pelmar {

// Opens a web address through the service SDK's opener.
class IUrlOpener {
 public:
  virtual ~IUrlOpener() = default;
  // Hands a plain http address over; anything else (another scheme, a path,
  // a program) is refused. True when handed over.
  virtual bool OpenUrl(const std::string& url) = 0;
};

}  // namespace pelmar
