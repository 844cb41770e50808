#include "pages/progress_events.h"

#include <atomic>

#include "services/logger_server.h"

namespace pelmar {
namespace {

std::atomic<ILoggerServer*> g_test_logger{nullptr};

ILoggerServer* Logger() {
  ILoggerServer* logger = g_test_logger.load();
  return logger != nullptr ? logger : GetLogger();
}

constexpr const char* kTrayPage = "0003";

}  // namespace

void SendHiddenToTrayAction() { (void)Logger()->SendPageAction(kTrayPage, "0001", ""); }

void SendRestoredFromTrayAction() { (void)Logger()->SendPageAction(kTrayPage, "0002", ""); }

void SetProgressEventLoggerForTesting(ILoggerServer* logger) { g_test_logger.store(logger); }

}  // namespace pelmar
