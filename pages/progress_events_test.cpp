#include "pages/progress_events.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "services/logger_server.h"

namespace pelmar {
namespace {

// Keeps what the page sends, with the properties pending at each send.
class RecordingLogger : public ILoggerServer {
 public:
  struct Record {
    std::string name;
    std::map<std::string, std::string> properties;
  };
  std::vector<Record> records;

  bool SendEvent(const std::string& name) override {
    records.push_back({name, pending_});
    return true;
  }
  bool SendPageAction(const std::string& page, const std::string& action,
                      const std::string& extra) override {
    records.push_back({"page_action", {{"page", page}, {"action", action}, {"extra", extra}}});
    return true;
  }
  void ClearProperties() override { pending_.clear(); }
  void SetIntProperty(const std::string& key, int32_t value) override {
    pending_[key] = "int:" + std::to_string(value);
  }
  void SetBoolProperty(const std::string& key, bool value) override {
    pending_[key] = value ? "bool:true" : "bool:false";
  }
  void SetStringProperty(const std::string& key, const std::string& value) override {
    pending_[key] = value;
  }
  bool SendLifecycle(int, const std::string&, const std::string&, const std::string&,
                     const std::string&, std::vector<std::string>) override {
    return true;
  }
  bool SendLaunch(int, const std::string&, const std::string&, const std::string&) override {
    return true;
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
  std::map<std::string, std::string> pending_;
};

class ProgressEventsTest : public testing::Test {
 protected:
  void SetUp() override {
    // Properties left pending by someone else must not travel with our events.
    log_.SetStringProperty("stale", "x");
    SetProgressEventLoggerForTesting(&log_);
  }
  void TearDown() override { SetProgressEventLoggerForTesting(nullptr); }
  RecordingLogger log_;
};

using Props = std::map<std::string, std::string>;

TEST_F(ProgressEventsTest, EachEventCarriesExactlyItsProperties) {
  struct Case {
    void (*send)();
    RecordingLogger::Record expected;
  };
  const Case cases[] = {
      {&SendHiddenToTrayAction,
       {"page_action", {{"page", "0003"}, {"action", "0001"}, {"extra", ""}}}},
      {&SendRestoredFromTrayAction,
       {"page_action", {{"page", "0003"}, {"action", "0002"}, {"extra", ""}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected.name);
    log_.records.clear();
    log_.SetStringProperty("stale", "x");
    c.send();
    ASSERT_EQ(log_.records.size(), 1u);
    EXPECT_EQ(log_.records[0].name, c.expected.name);
    EXPECT_EQ(log_.records[0].properties, c.expected.properties);
  }
}

}  // namespace
}  // namespace pelmar
