#pragma once

// A logger for the services' tests that keeps the events sent to it with the
// properties pending at that moment, so a test checks exactly what was
// reported. (It stood in the network tests' support before the layers split;
// the browser tests still report through the logger itself.)

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/testing/recording_event_sink.h"
#include "services/logger_server.h"

namespace pelmar::testing {

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

}  // namespace pelmar::testing
