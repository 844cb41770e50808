#include "base/event_sink.h"

#include <gtest/gtest.h>

#include "base/testing/recording_event_sink.h"

namespace pelmar {
namespace {

TEST(EventTest, KeepsPropertiesInOrderWithTheirKinds) {
  const Event e = Event("vNetworkCheck")
                      .SetString("network_type", "proxy")
                      .SetInt("conn_type", -3)
                      .SetBool("is_first_install", true)
                      .SetString("host_name", "\xE4\xB8\xAD.example");
  EXPECT_EQ(e.name(), "vNetworkCheck");
  ASSERT_EQ(e.properties().size(), 4u);
  EXPECT_EQ(e.properties()[0].key, "network_type");
  EXPECT_EQ(e.properties()[0].kind, EventProperty::kString);
  EXPECT_EQ(e.properties()[0].stringValue, "proxy");
  EXPECT_EQ(e.properties()[1].kind, EventProperty::kInt);
  EXPECT_EQ(e.properties()[1].intValue, -3);
  EXPECT_EQ(e.properties()[2].kind, EventProperty::kBool);
  EXPECT_TRUE(e.properties()[2].boolValue);
  EXPECT_EQ(e.properties()[3].stringValue, "\xE4\xB8\xAD.example");
  EXPECT_EQ(e.Find("conn_type"), &e.properties()[1]);
  EXPECT_EQ(e.Find("missing"), nullptr);
}

// The logger keeps the first value of a key; an event must record the same.
TEST(EventTest, FirstValueOfAKindWins) {
  const Event e = Event("x")
                      .SetString("k", "first")
                      .SetString("k", "second")
                      .SetInt("n", 1)
                      .SetInt("n", 2)
                      .SetInt("k", 7);  // another kind is another property
  ASSERT_EQ(e.properties().size(), 3u);
  EXPECT_EQ(e.properties()[0].stringValue, "first");
  EXPECT_EQ(e.properties()[1].intValue, 1);
  EXPECT_EQ(e.properties()[2].key, "k");
  EXPECT_EQ(e.properties()[2].intValue, 7);
}

TEST(ProcessEventSinkTest, DropsUntilASinkIsInstalledAndAfterItIsRemoved) {
  SetProcessEventSink(nullptr);
  ASSERT_NE(ProcessEventSink(), nullptr);
  EXPECT_FALSE(ProcessEventSink()->Send(Event("dropped")));

  RecordingEventSink recorder;
  {
    ScopedProcessEventSink scoped(&recorder);
    EXPECT_EQ(ProcessEventSink(), &recorder);
    EXPECT_TRUE(ProcessEventSink()->Send(Event("kept").SetInt("n", 3).SetBool("b", false)));
  }
  EXPECT_FALSE(ProcessEventSink()->Send(Event("dropped again")));

  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].name, "kept");
  EXPECT_EQ(events[0].ints, (std::map<std::string, int32_t>{{"n", 3}}));
  EXPECT_EQ(events[0].bools, (std::map<std::string, bool>{{"b", false}}));
  EXPECT_TRUE(events[0].strings.empty());
}

}  // namespace
}  // namespace pelmar
