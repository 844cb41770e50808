#pragma once

#include <string>

namespace pelmar {

// The service SDK's machine identifier, for addresses that carry it.
class IMachineIdSource {
 public:
  virtual ~IMachineIdSource() = default;
  // "" when the SDK has none.
  virtual std::string GetMid() = 0;
  virtual std::string GetMidEx(int value) = 0;
};

}  // namespace pelmar
