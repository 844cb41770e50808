#include "base/event_sink.h"

#include <atomic>

namespace pelmar {
namespace {

class DroppingSink : public IEventSink {
 public:
  bool Send(const Event&) override { return false; }
};

DroppingSink g_dropping_sink;
std::atomic<IEventSink*> g_process_sink{nullptr};

}  // namespace

Event& Event::SetInt(std::string_view key, int32_t value) {
  if (EventProperty* p = NewSlot(key, EventProperty::kInt)) p->intValue = value;
  return *this;
}

Event& Event::SetBool(std::string_view key, bool value) {
  if (EventProperty* p = NewSlot(key, EventProperty::kBool)) p->boolValue = value;
  return *this;
}

Event& Event::SetString(std::string_view key, std::string_view value) {
  if (EventProperty* p = NewSlot(key, EventProperty::kString)) p->stringValue = std::string(value);
  return *this;
}

const EventProperty* Event::Find(std::string_view key) const {
  for (const EventProperty& p : properties_) {
    if (p.key == key) return &p;
  }
  return nullptr;
}

EventProperty* Event::NewSlot(std::string_view key, EventProperty::Kind kind) {
  for (const EventProperty& p : properties_) {
    if (p.key == key && p.kind == kind) return nullptr;
  }
  EventProperty& p = properties_.emplace_back();
  p.key = std::string(key);
  p.kind = kind;
  return &p;
}

IEventSink* ProcessEventSink() {
  IEventSink* sink = g_process_sink.load();
  return sink != nullptr ? sink : &g_dropping_sink;
}

void SetProcessEventSink(IEventSink* sink) { g_process_sink.store(sink); }

}  // namespace pelmar
