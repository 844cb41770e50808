#pragma once

namespace pelmar {

// The user's choice to leave the experience plan: once released, nothing more
// is delivered for this run (every later record send returns false).
class IRecordDelivery {
 public:
  virtual ~IRecordDelivery() = default;
  virtual void ReleaseHandle() = 0;
};

}  // namespace pelmar
