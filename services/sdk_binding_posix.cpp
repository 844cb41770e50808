#include "services/sdk_binding.h"

#include "base/pelmar_error.h"

namespace pelmar {

// The SDK exists only as Windows libraries; natively the logger stays Inert
// unless a test hands it its own table.
void CSdkBinding::Bind(VekTables&, VekCrashHandler, void*) {
  throw PelmarError("Load VEK.dll failed");
}

}  // namespace pelmar
