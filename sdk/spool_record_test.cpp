#include "sdk/spool_record.h"

#include <gtest/gtest.h>

#include <json/json.h>

namespace pelmar::vek {
namespace {

RecordContext Context() {
  RecordContext c;
  c.uid = "0123456789abcdef0123456789abcdef";
  c.appId = "10001061";
  c.appName = "win_installer";
  c.mid = "mid-1";
  c.timeMs = 1700000000123;
  return c;
}

TEST(SpoolRecordTest, EventLineHasExactLayout) {
  SpoolRecord r(6);
  r.WriteEvent("pSoftInstall", 12345601);
  r.WriteIntProperty("download_time", 42);
  r.WriteBoolProperty("is_first_install", true);
  r.WriteStringProperty("install_type", "\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8");
  r.WriteStringProperty("install_type", "ignored: key already written");
  EXPECT_EQ(r.ToJsonLine(Context()),
            "{\"uid\":\"0123456789abcdef0123456789abcdef\",\"type\":6,\"app_id\":\"10001061\","
            "\"app\":\"win_installer\",\"mid\":\"mid-1\",\"time\":1700000000123,\"ints\":{},"
            "\"data\":{},\"event\":\"pSoftInstall\",\"event_id\":\"12345601\",\"props\":{"
            "\"download_time\":42,\"is_first_install\":true,"
            "\"install_type\":\"\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8\"}}");
}

TEST(SpoolRecordTest, LifecycleFieldsAndRepeatedFiles) {
  SpoolRecord r(4);
  r.WriteInt(50, 4);
  r.WriteData(51, "0001");
  r.WriteData(52, "0002");
  r.WriteData(55, "C:\\a.dmp");
  r.WriteData(55, "C:\\b.dmp");
  Json::Value v;
  Json::Reader reader;
  ASSERT_TRUE(reader.parse(r.ToJsonLine(Context()), v));
  EXPECT_EQ(v["type"].asInt(), 4);
  EXPECT_EQ(v["ints"]["50"].asInt(), 4);
  EXPECT_EQ(v["data"]["51"].asString(), "MDAwMQ==");
  EXPECT_EQ(v["data"]["52"].asString(), "MDAwMg==");
  ASSERT_TRUE(v["data"]["55"].isArray());
  EXPECT_EQ(v["data"]["55"][0].asString(), "QzpcYS5kbXA=");
  EXPECT_EQ(v["data"]["55"][1].asString(), "QzpcYi5kbXA=");
  EXPECT_EQ(v["event"].asString(), "");
  EXPECT_EQ(v["event_id"].asString(), "");
  EXPECT_TRUE(v["props"].isObject());
  EXPECT_EQ(v["props"].size(), 0u);
}

struct QuoteCase {
  std::string in;
  std::string out;
};

TEST(SpoolRecordTest, StringsStayValidJson) {
  const QuoteCase cases[] = {
      {"plain", "\"plain\""},
      {"q\"b\\", "\"q\\\"b\\\\\""},
      {"line\nbreak\ttab", "\"line\\u000abreak\\u0009tab\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\xe8\xbd\xaf", "\"\xe8\xbd\xaf\""},                          // valid UTF-8 kept
      {"\xff", "\"\xef\xbf\xbd\""},                                  // invalid byte replaced
      {"\xe8\xbd", "\"\xef\xbf\xbd\xef\xbf\xbd\""},                  // cut sequence
      {"\xc0\xaf", "\"\xef\xbf\xbd\xef\xbf\xbd\""},                  // overlong
      {"\xed\xa0\x80", "\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\""},  // surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(JsonQuote(c.in), c.out);
  }
}

TEST(SpoolRecordTest, NoLineBreakEvenWithHostileValues) {
  SpoolRecord r(6);
  r.WriteEvent("e\nv", 1);
  r.WriteStringProperty("k\r\n", "v\n\n");
  const std::string line = r.ToJsonLine(Context());
  EXPECT_EQ(line.find('\n'), std::string::npos);
  EXPECT_EQ(line.find('\r'), std::string::npos);
}

}  // namespace
}  // namespace pelmar::vek
