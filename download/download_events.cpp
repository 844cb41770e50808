#include "download/download_events.h"

#include <atomic>

#include "services/logger_server.h"

namespace pelmar {
namespace {

std::atomic<ILoggerServer*> g_test_logger{nullptr};

ILoggerServer* Logger() {
  ILoggerServer* logger = g_test_logger.load();
  return logger != nullptr ? logger : GetLogger();
}

}  // namespace

void SendDownloadErrorEvent(const char* error_type, const char* error_status) {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("error_type", error_type);
  logger->SetStringProperty("error_status", error_status);
  (void)logger->SendEvent("vSoftDownloadError");
}

void SendDownloadStartEvent() {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  (void)logger->SendEvent("vSoftDownloadStart");
}

void SendDownloadResultEvent(const char* status, int32_t download_time) {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("soft_download_status", status);
  logger->SetIntProperty("download_time", download_time);
  (void)logger->SendEvent("pSoftDownloadResult");
}

void SetDownloadEventLoggerForTesting(ILoggerServer* logger) { g_test_logger.store(logger); }

}  // namespace pelmar
