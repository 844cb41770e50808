#include "pages/progress_events.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/testing/recording_event_sink.h"

namespace pelmar {
namespace {

// Keeps what the page sends, in order: each event with its properties
// (integers marked "int:", booleans "bool:") and each page action.
class Recorder : public IEventSink, public IPageActionSink {
 public:
  struct Record {
    std::string name;
    std::map<std::string, std::string> properties;
  };
  std::vector<Record> records;

  bool Send(const Event& event) override {
    RecordingEventSink typed;
    (void)typed.Send(event);
    const RecordedEvent e = typed.Events().front();
    Record r{e.name, e.strings};
    for (const auto& [key, value] : e.ints) r.properties[key] = "int:" + std::to_string(value);
    for (const auto& [key, value] : e.bools) r.properties[key] = value ? "bool:true" : "bool:false";
    records.push_back(std::move(r));
    return true;
  }
  bool SendPageAction(const std::string& page, const std::string& action,
                      const std::string& extra) override {
    records.push_back({"page_action", {{"page", page}, {"action", action}, {"extra", extra}}});
    return true;
  }
};

class ProgressEventsTest : public testing::Test {
 protected:
  Recorder log_;
};

using Props = std::map<std::string, std::string>;

TEST_F(ProgressEventsTest, EachEventCarriesExactlyItsProperties) {
  struct Case {
    void (*send)(Recorder&);
    Recorder::Record expected;
  };
  const Case cases[] = {
      {[](Recorder& r) { SendHiddenToTrayAction(r); },
       {"page_action", {{"page", "0003"}, {"action", "0001"}, {"extra", ""}}}},
      {[](Recorder& r) { SendRestoredFromTrayAction(r); },
       {"page_action", {{"page", "0003"}, {"action", "0002"}, {"extra", ""}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.name);
    log_.records.clear();
    c.send(log_);
    ASSERT_EQ(log_.records.size(), 1u);
    EXPECT_EQ(log_.records[0].name, c.expected.name);
    EXPECT_EQ(log_.records[0].properties, c.expected.properties);
  }
}

}  // namespace
}  // namespace pelmar
