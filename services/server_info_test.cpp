#include "services/server_info.h"

#include <gtest/gtest.h>

#include <string>

namespace pelmar {
namespace {

struct ChannelCase {
  const char* name;
  std::string body;
  bool fails;
  ChannelRecord want;  // when it does not fail
};

class ChannelRecordTest : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ChannelRecordTest, Parses) {
  const ChannelCase& c = GetParam();
  ChannelRecord record;
  record.appName = "untouched";
  const std::string failure = ParseChannelRecord(c.body, &record);
  if (c.fails) {
    EXPECT_NE(failure, "");
    EXPECT_EQ(record.appName, "untouched");  // nothing half-stored
    return;
  }
  ASSERT_EQ(failure, "");
  EXPECT_EQ(record.appId, c.want.appId);
  EXPECT_EQ(record.appName, c.want.appName);
  EXPECT_EQ(record.attribution, c.want.attribution);
  EXPECT_EQ(record.welcomeUrl, c.want.welcomeUrl);
  EXPECT_EQ(record.advertisingAccountName, c.want.advertisingAccountName);
}

const ChannelCase kChannelCases[] = {
    {"Full",
     R"({"code": "server.success", "data": {"appId": "10001061", "appName": "Morvantile",
        "welcomeUrl": "http://w/welcome", "advertisingAccountName": "acc", "tesselOcpc": true}})",
     false,
     {"10001061", "Morvantile", true, "http://w/welcome", "acc"}},
    {"AppIdAsNumber",
     R"({"code": "server.success", "data": {"appId": 12, "appName": 7}})",
     false,
     {"12", "7", false, "", ""}},
    {"NoWelcomeUrlKeepsTheOthers",
     R"({"code": "server.success", "data": {"appId": "1", "appName": "n", "advertisingAccountName": "a", "tesselOcpc": 1}})",
     false,
     {"1", "n", true, "", "a"}},
    {"FlagAsZero", R"({"code": "server.success", "data": {"tesselOcpc": 0}})", false, {}},
    {"FlagAsNonZeroNumber",
     R"({"code": "server.success", "data": {"tesselOcpc": 2}})",
     false,
     {"", "", true, "", ""}},
    {"BooleanAsText",
     R"({"code": "server.success", "data": {"appName": false}})",
     false,
     {"", "false", false, "", ""}},
    {"NullMembersAreEmpty",
     R"({"code": "server.success", "data": {"appId": null, "tesselOcpc": null}})",
     false,
     {}},
    {"OtherCodeLeavesEverythingEmpty",
     R"({"code": "server.notfound", "data": {"appId": "1", "appName": "n"}})",
     false,
     {}},
    {"NoCodeLeavesEverythingEmpty", R"({"data": {"appId": "1"}})", false, {}},
    {"NoData", R"({"code": "server.success"})", false, {}},
    {"DataNull", R"({"code": "server.success", "data": null})", false, {}},
    {"ExtraMembersIgnored",
     R"({"code": "server.success", "message": "ok", "data": {"appName": "n", "x": [1, 2]}})",
     false,
     {"", "n", false, "", ""}},
    {"RootNull", "null", false, {}},
    // Text after the value is ignored, as the servers' answers have always been read.
    {"TrailingText",
     R"({"code": "server.success", "data": {"appId": "1", "appName": "n"}}<!-- proxy -->)",
     false,
     {"1", "n", false, "", ""}},
    {"CodeAsNumber", R"({"code": 0, "data": {"appId": "1"}})", true, {}},
    {"CodeAsNull", R"({"code": null})", true, {}},
    {"CodeAsObject", R"({"code": {}})", true, {}},
    {"Empty", "", true, {}},
    {"NotJson", "<html>", true, {}},
    {"Truncated", R"({"code": "server.success", "data": {)", true, {}},
    {"RootArray", R"(["code"])", true, {}},
    // Nested past the reader's limit: the reader throws, the record just fails.
    {"NestedTooDeep", std::string(5000, '[') + std::string(5000, ']'), true, {}},
    {"DataAString", R"({"code": "server.success", "data": "x"})", true, {}},
    {"AppIdAsObject", R"({"code": "server.success", "data": {"appId": {}}})", true, {}},
    {"FlagAsString", R"({"code": "server.success", "data": {"tesselOcpc": "yes"}})", true, {}},
    {"TooLarge",
     R"({"code": "server.success", "data": {"appName": ")" +
         std::string(kMaxChannelRecordBytes, 'n') + R"("}})",
     true,
     {}},
};

INSTANTIATE_TEST_SUITE_P(Table, ChannelRecordTest, ::testing::ValuesIn(kChannelCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ChannelRecord, EveryTruncatedPrefixFailsCleanly) {
  const std::string whole =
      R"({"code": "server.success", "data": {"appId": 12, "appName": "n", "tesselOcpc": true}})";
  for (size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE(n);
    ChannelRecord record;
    record.appName = "untouched";
    EXPECT_NE(ParseChannelRecord(std::string_view(whole.data(), n), &record), "");
    EXPECT_EQ(record.appName, "untouched");
  }
}

}  // namespace
}  // namespace pelmar
