#pragma once

// The one recorder of analytics events for tests of every layer: it keeps
// each event sent to it, so a test can check exactly what was reported.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/event_sink.h"

namespace pelmar {

struct RecordedEvent {
  std::string name;
  std::map<std::string, std::string> strings;
  std::map<std::string, int32_t> ints;
  std::map<std::string, bool> bools;
};

// Threads: any thread may send; the lock guards the list.
class RecordingEventSink : public IEventSink {
 public:
  bool Send(const Event& event) override {
    RecordedEvent e;
    e.name = event.name();
    for (const EventProperty& p : event.properties()) {
      switch (p.kind) {
        case EventProperty::kInt:
          e.ints[p.key] = p.intValue;
          break;
        case EventProperty::kBool:
          e.bools[p.key] = p.boolValue;
          break;
        case EventProperty::kString:
          e.strings[p.key] = p.stringValue;
          break;
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(e));
    return true;
  }

  std::vector<RecordedEvent> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<RecordedEvent> EventsNamed(const std::string& name) const {
    std::vector<RecordedEvent> out;
    for (const auto& e : Events()) {
      if (e.name == name) out.push_back(e);
    }
    return out;
  }
  // Names of the events, in order.
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const auto& e : Events()) out.push_back(e.name);
    return out;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<RecordedEvent> events_;  // guarded by mutex_
};

// Installs a sink as the process's event sink for the life of the object.
class ScopedProcessEventSink {
 public:
  explicit ScopedProcessEventSink(IEventSink* sink) { SetProcessEventSink(sink); }
  ~ScopedProcessEventSink() { SetProcessEventSink(nullptr); }
  ScopedProcessEventSink(const ScopedProcessEventSink&) = delete;
  ScopedProcessEventSink& operator=(const ScopedProcessEventSink&) = delete;
};

}  // namespace pelmar
