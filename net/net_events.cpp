#include "net/net_events.h"

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

void SendDownloadInitFailedEvent() {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("error_type", "获取下载信息线程出错");
  logger->SetStringProperty("error_status", "初始化失败");
  (void)logger->SendEvent("vSoftDownloadError");
}

void SendNetworkCheckEvent(const std::string& network_type, int conn_type,
                           const std::string& host_name) {
  ILoggerServer* logger = Logger();
  logger->ClearProperties();
  logger->SetStringProperty("network_type", network_type);
  logger->SetIntProperty("conn_type", conn_type);
  logger->SetStringProperty("host_name", host_name);
  (void)logger->SendEvent("vNetworkCheck");
}

void SetNetEventLoggerForTesting(ILoggerServer* logger) { g_test_logger.store(logger); }

}  // namespace pelmar
