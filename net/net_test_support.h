#pragma once

// Helpers shared by the network tests: an AppContext per test and a logger
// that keeps the events sent to it, so tests can check exactly what the
// network layer reported.

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "net/net_events.h"
#include "net/tcp_client.h"
#include "services/logger_server.h"

namespace pelmar::testing {

struct RecordedEvent {
  std::string name;
  std::map<std::string, std::string> strings;
  std::map<std::string, int32_t> ints;
};

// Keeps every SendEvent with the properties pending at that moment.
class RecordingLogger : public ILoggerServer {
 public:
  std::vector<RecordedEvent> Events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<RecordedEvent> EventsNamed(const std::string& name) {
    std::vector<RecordedEvent> out;
    for (const auto& e : Events()) {
      if (e.name == name) out.push_back(e);
    }
    return out;
  }

  bool SendEvent(const std::string& name) override {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordedEvent e = pending_;
    e.name = name;
    events_.push_back(e);
    return true;
  }
  void ClearProperties() override {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = {};
  }
  void SetIntProperty(const std::string& key, int32_t value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.ints[key] = value;
  }
  void SetBoolProperty(const std::string&, bool) override {}
  void SetStringProperty(const std::string& key, const std::string& value) override {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.strings[key] = value;
  }
  bool SendPageAction(const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  bool SendLifecycle(int, const std::string&, const std::string&, const std::string&,
                     const std::string&, std::vector<std::string>) override {
    return false;
  }
  bool SendLaunch(int, const std::string&, const std::string&, const std::string&) override {
    return false;
  }
  std::string BuildHttpData(const std::string&, const std::string&) override { return {}; }
  std::string DecryptData(const std::string&) override { return {}; }
  std::string GetMid() override { return {}; }
  std::string GetMidEx(int) override { return {}; }
  bool Reinit() override { return false; }
  void ReleaseHandle() override {}
  bool OpenUrl(const std::string&) override { return false; }
  int RunAsUser(const std::string&, const std::string&, const char*, const char*,
                const char*) override {
    return 0;
  }

 private:
  std::mutex mutex_;
  RecordedEvent pending_;
  std::vector<RecordedEvent> events_;
};

// A fresh AppContext and event recorder for each test; resolver hooks reset.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartSockets());
    DeleteAppContext();
    ASSERT_NE(CreateAppContext(), nullptr);
    SetNetEventLoggerForTesting(&logger_);
    ResetResolverTestHooks();
  }
  void TearDown() override {
    ResetResolverTestHooks();
    SetNetEventLoggerForTesting(nullptr);
    DeleteAppContext();
  }
  NetworkSettings Settings() {
    std::lock_guard<CXMutex> lock(GetAppContext()->mutex);
    return GetAppContext()->network;
  }
  void SetSettings(const NetworkSettings& s) {
    std::lock_guard<CXMutex> lock(GetAppContext()->mutex);
    GetAppContext()->network = s;
  }

  RecordingLogger logger_;
};

}  // namespace pelmar::testing
