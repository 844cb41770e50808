#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelmar {

// One analytics property: a key and a value of one of the three kinds the
// service SDK records.
struct EventProperty {
  enum Kind { kInt, kBool, kString };
  std::string key;
  Kind kind = kString;
  int32_t intValue = 0;
  bool boolValue = false;
  std::string stringValue;  // UTF-8
};

// An analytics event as the lower layers describe it: a name and its
// properties, in the order they were set. Setting a key of the same kind
// again keeps the first value, as the logger's pending properties do, so an
// event sent through a sink records what setting it by hand would.
class Event {
 public:
  explicit Event(std::string name) : name_(std::move(name)) {}

  Event& SetInt(std::string_view key, int32_t value);
  Event& SetBool(std::string_view key, bool value);
  Event& SetString(std::string_view key, std::string_view value);

  const std::string& name() const { return name_; }
  const std::vector<EventProperty>& properties() const { return properties_; }
  // The first property named `key` (of any kind), or null.
  const EventProperty* Find(std::string_view key) const;

 private:
  // A fresh property, or null when the key of that kind is already set.
  EventProperty* NewSlot(std::string_view key, EventProperty::Kind kind);

  std::string name_;
  std::vector<EventProperty> properties_;
};

// Where the network, download and user-interface code send their events
// without knowing the logger above them. Any thread may call Send.
class IEventSink {
 public:
  virtual ~IEventSink() = default;
  // True when the event was committed; senders may ignore it (a dropped
  // event is never the user's problem).
  virtual bool Send(const Event& event) = 0;
};

// The process's sink for code that is not handed one: the composition root
// installs the logger at start-up, a test its recorder. Never null: until a
// sink is installed (and after null is installed) events are dropped.
IEventSink* ProcessEventSink();
void SetProcessEventSink(IEventSink* sink);

}  // namespace pelmar
