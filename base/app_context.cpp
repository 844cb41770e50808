#include "base/app_context.h"

namespace pelmar {
namespace {
std::atomic<AppContext*> g_context{nullptr};
}  // namespace

std::atomic<bool> is_first_install{true};
std::atomic<bool> is_reinstall{false};

AppContext* GetAppContext() { return g_context.load(); }

AppContext* CreateAppContext() {
  AppContext* fresh = new AppContext;
  AppContext* expected = nullptr;
  if (!g_context.compare_exchange_strong(expected, fresh)) {
    delete fresh;
    return expected;
  }
  return fresh;
}

void DeleteAppContext() { delete g_context.exchange(nullptr); }

}  // namespace pelmar
