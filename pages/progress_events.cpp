#include "pages/progress_events.h"

#include <atomic>
#include <string>

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

void SendInstallStartEvent() {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  (void)logger->SendEvent("vSoftInstallStart");
}

void SendInstallErrorEvent(uint32_t exitCode) {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("error_status", std::to_string(exitCode));
  (void)logger->SendEvent("vSoftInstallError");
}

void SendDownloadFailedEvent() {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("soft_download_status", "下载失败");
  logger->SetIntProperty("download_time", -1);
  (void)logger->SendEvent("pSoftDownloadResult");
}

void SendHiddenToTrayAction() { (void)Logger()->SendPageAction(kTrayPage, "0001", ""); }

void SendRestoredFromTrayAction() { (void)Logger()->SendPageAction(kTrayPage, "0002", ""); }

void SetProgressEventLoggerForTesting(ILoggerServer* logger) { g_test_logger.store(logger); }

}  // namespace pelmar
