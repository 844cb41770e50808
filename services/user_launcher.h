#pragma once

#include <string>

namespace pelmar {

// Starts a program as the desktop user rather than with the installer's
// elevated rights.
class IUserLauncher {
 public:
  virtual ~IUserLauncher() = default;
  // 0 when unavailable or verb/file empty; else the companion's result.
  virtual int RunAsUser(const std::string& verb, const std::string& fileUtf8,
                        const char* a3 = nullptr, const char* a4 = nullptr,
                        const char* a5 = nullptr) = 0;
};

}  // namespace pelmar
