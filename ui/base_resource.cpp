#include "ui/base_resource.h"

#include <mutex>

#include "base/app_context.h"

namespace pelmar {

double CurrentDisplayScale() {
  AppContext* ctx = GetAppContext();
  if (!ctx) return 1.0;
  std::lock_guard<CXMutex> lock(ctx->mutex);
  return ctx->displayScale;
}

}  // namespace pelmar
