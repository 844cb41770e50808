#include "pages/progress_test_hooks.h"

namespace pelmar {
namespace {

ProgressPageHooks& Hooks() {
  static ProgressPageHooks hooks;
  return hooks;
}

}  // namespace

void SetProgressPageHooksForTesting(const ProgressPageHooks& hooks) { Hooks() = hooks; }

const ProgressPageHooks& ProgressPageHooksForTesting() { return Hooks(); }

}  // namespace pelmar
