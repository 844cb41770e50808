#include "services/sdk_binding.h"

#include "net/pelmar_error.h"

namespace pelmar {

// Extraction and loading arrive with the SDK build; until then the logger is Inert.
void CSdkBinding::Bind(VekTables&, VekCrashHandler, void*) {
  throw PelmarError("Load VEK.dll failed");
}

}  // namespace pelmar
