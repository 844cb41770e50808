#include "services/channel_record_source.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "server_records_test_server.h"
#include "services/server_info.h"

namespace pelmar {
namespace {

using testing::HttpAnswer;
using testing::ScriptedHttpServer;
using testing::WaitUntil;

ServerInfoSettings SettingsFor(uint16_t port, const std::string& channel) {
  ServerInfoSettings s;
  s.gateway = {"127.0.0.1", port};
  s.hostText = "gateway.test";
  s.retryPauseMs = 5;
  s.timeLimitMs = 5000;
  s.channel = [channel] { return channel; };
  return s;
}

struct ChannelAnswerCase {
  const char* name;
  std::string answer;  // every request gets it
  int status;
  int requests;
  ChannelRecord want;
};

class ChannelAnswerTest : public ::testing::TestWithParam<ChannelAnswerCase> {};

TEST_P(ChannelAnswerTest, StatusAndFields) {
  const ChannelAnswerCase& c = GetParam();
  ScriptedHttpServer server([&](int, const std::string&) { return c.answer; });
  CServerInfo info(SettingsFor(server.Port(), "huawei00"));
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  EXPECT_EQ(info.Status(), c.status) << info.LastFailure();
  EXPECT_EQ(info.AppId(), c.want.appId);
  EXPECT_EQ(info.AppName(), c.want.appName);
  EXPECT_EQ(info.AttributionFlag(), c.want.attribution);
  EXPECT_EQ(info.WelcomeUrl(), c.want.welcomeUrl);
  EXPECT_EQ(info.AdvertisingAccount(), c.want.advertisingAccountName);
  EXPECT_EQ(server.Requests(), c.requests);
  for (const std::string& request : server.Received()) {
    EXPECT_EQ(request,
              "GET /applicationService/channel/welcome?channel=huawei00 HTTP/1.1\r\n"
              "Host: gateway.test\r\nConnection: close\r\n\r\n");
  }
}

const ChannelAnswerCase kChannelAnswers[] = {
    {"Stored",
     HttpAnswer(200,
                R"({"code": "server.success", "data": {"appId": "10001061", "appName": "Morvantile",
        "welcomeUrl": "http://w/welcome", "advertisingAccountName": "acc", "tesselOcpc": true}})"),
     1,
     1,
     {"10001061", "Morvantile", true, "http://w/welcome", "acc"}},
    {"AppIdAsNumber",
     HttpAnswer(200, R"({"code": "server.success", "data": {"appId": 12}})"),
     1,
     1,
     {"12", "", false, "", ""}},
    {"NoWelcomeUrl",
     HttpAnswer(200, R"({"code": "server.success", "data": {"appName": "n", "tesselOcpc": 1}})"),
     1,
     1,
     {"", "n", true, "", ""}},
    {"OtherCode",
     HttpAnswer(200, R"({"code": "server.notfound", "data": {"appName": "n"}})"),
     1,
     1,
     {}},
    {"CodeAsNumber", HttpAnswer(200, R"({"code": 0, "data": {"appName": "n"}})"), 2, 1, {}},
    {"NotJson", HttpAnswer(200, "<html>"), 2, 1, {}},
    // A status other than 200 reads as an empty body: every attempt is made.
    {"NotFoundEveryTime", HttpAnswer(404, R"({"code": "server.success"})"), 2, 3, {}},
    // Three failed exchanges: the empty body does not parse.
    {"ClosedEveryTime", ScriptedHttpServer::kClose, 2, 3, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, ChannelAnswerTest, ::testing::ValuesIn(kChannelAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadServerInfoThread, EmptyChannelMakesNoRequest) {
  ScriptedHttpServer server([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  CServerInfo info(SettingsFor(server.Port(), ""));
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  EXPECT_EQ(info.Status(), 1);
  EXPECT_EQ(info.AppName(), "");
  EXPECT_EQ(server.Requests(), 0);
}

// The channel comes from the installer's file name; whatever it holds, the
// request line stays one line and the channel stays the query's value.
TEST(ReadServerInfoThread, ChannelIsEncodedIntoTheRequestPath) {
  const struct {
    std::string channel;
    std::string query;
  } kCases[] = {
      {"x#y", "x%23y"},
      {"a b", "a%20b"},
      {"a&c=1", "a%26c%3D1"},
      {"a\r\nX", "a%0D%0AX"},
      {"\xE5\x8D\x8E", "%E5%8D%8E"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.query);
    ScriptedHttpServer server([](int, const std::string&) {
      return HttpAnswer(200, R"({"code": "server.success", "data": {"appName": "n"}})");
    });
    CServerInfo info(SettingsFor(server.Port(), c.channel));
    ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
    EXPECT_EQ(info.Status(), 1) << info.LastFailure();
    ASSERT_EQ(server.Received().size(), 1u);
    EXPECT_EQ(server.Received()[0],
              "GET /applicationService/channel/welcome?channel=" + c.query +
                  " HTTP/1.1\r\nHost: gateway.test\r\nConnection: close\r\n\r\n");
  }
}

TEST(ReadServerInfoThread, AnswerOnTheLastAttemptIsStored) {
  ScriptedHttpServer server([](int index, const std::string&) {
    return index < 2 ? std::string(ScriptedHttpServer::kClose)
                     : HttpAnswer(200, R"({"code": "server.success", "data": {"appName": "n"}})");
  });
  CServerInfo info(SettingsFor(server.Port(), "c"));
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  EXPECT_EQ(info.Status(), 1) << info.LastFailure();
  EXPECT_EQ(info.AppName(), "n");
  EXPECT_EQ(server.Requests(), 3);
  info.ClearWelcomeUrl();
  EXPECT_EQ(info.AppName(), "n");
}

TEST(ReadServerInfoThread, ClearWelcomeUrlEmptiesOnlyIt) {
  ScriptedHttpServer server([](int, const std::string&) {
    return HttpAnswer(200,
                      R"({"code": "server.success", "data": {"appName": "n", "welcomeUrl": "w"}})");
  });
  CServerInfo info(SettingsFor(server.Port(), "c"));
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  ASSERT_EQ(info.WelcomeUrl(), "w");
  info.ClearWelcomeUrl();
  EXPECT_EQ(info.WelcomeUrl(), "");
  EXPECT_EQ(info.AppName(), "n");
}

TEST(ReadServerInfoThread, ReaderBlockedOnASilentServerIsWokenByTheStop) {
  ScriptedHttpServer server([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  ServerInfoSettings settings = SettingsFor(server.Port(), "c");
  settings.timeLimitMs = 10 * 60 * 1000;  // only the stop can end the exchange
  auto info = std::make_unique<CServerInfo>(settings);
  ASSERT_TRUE(WaitUntil([&] { return server.Holding(); }));
  // Repeated as the owner's destruction repeats it (see StopAndWake).
  ASSERT_TRUE(WaitUntil([&] {
    info->RequestStop();
    return info->Status() != 0;
  }));
  EXPECT_EQ(info->Status(), 2);
  EXPECT_EQ(info->LastFailure(), "user cancel");
  info.reset();
  EXPECT_TRUE(WaitUntil([&] { return server.PeerClosedWhileHeld() == 1; }));
  EXPECT_EQ(server.Requests(), 1);
}

}  // namespace
}  // namespace pelmar
