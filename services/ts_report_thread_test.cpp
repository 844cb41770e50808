#include "services/ts_report_thread.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "net/http_form.h"
#include "server_records_test_server.h"

namespace pelmar {
namespace {

using testing::HttpAnswer;
using testing::ScriptedHttpServer;
using testing::WaitUntil;

TSReportSettings SettingsFor(uint16_t port) {
  TSReportSettings s;
  s.attribution = {"127.0.0.1", port};
  s.hostText = "tessel.test";
  s.retryPauseMs = 5;
  s.timeLimitMs = 5000;
  s.channel = [] { return std::string("huawei00"); };
  s.userId = [] { return std::string("0123456789abcdef0123456789abcdef"); };
  s.appName = [] { return std::string("Morvantile"); };
  s.machineHash = [] { return std::string("d41d8cd98f00b204e9800998ecf8427e"); };
  s.mid = [] { return std::string("mid-1"); };
  s.version = [] { return std::string("2.1.0.5"); };
  return s;
}

// The form fields of a multipart body, in the order sent.
std::vector<std::pair<std::string, std::string>> FormFields(const std::string& request) {
  std::vector<std::pair<std::string, std::string>> fields;
  const std::string boundary = HttpForm::Boundary();
  const std::string head = "Content-Disposition: form-data; name=\"";
  size_t at = request.find("\r\n\r\n");
  while (at != std::string::npos) {
    at = request.find(boundary + "\r\n" + head, at);
    if (at == std::string::npos) break;
    at += boundary.size() + 2 + head.size();
    const size_t name_end = request.find("\"\r\n\r\n", at);
    if (name_end == std::string::npos) break;
    const size_t value_start = name_end + 5;
    const size_t value_end = request.find("\r\n" + boundary, value_start);
    if (value_end == std::string::npos) break;
    fields.emplace_back(request.substr(at, name_end - at),
                        request.substr(value_start, value_end - value_start));
    at = value_end;
  }
  return fields;
}

bool Ended(CTSReportThread& t) { return !t.IsRunning(); }

TEST(TSReportThread, PostsTheFormOnceAndEndsWithZero) {
  ScriptedHttpServer server(
      [](int, const std::string&) { return HttpAnswer(200, R"({"code": 0})"); });
  CTSReportThread report(SettingsFor(server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return Ended(report); }));
  EXPECT_EQ(report.ExitCode(), 0u) << report.LastFailure();
  ASSERT_EQ(server.Requests(), 1);
  const std::string request = server.Received()[0];
  EXPECT_EQ(request.rfind("POST /v1/install/tessel HTTP/1.1\r\nHost: tessel.test\r\n", 0), 0u);
  // Parts go out in ascending order of their names.
  const std::vector<std::pair<std::string, std::string>> want = {
      {"app_id", "10001061"},
      {"app_version", "2.1.0.5"},
      {"cam", "d41d8cd98f00b204e9800998ecf8427e"},
      {"mid", "mid-1"},
      {"product_name", "Morvantile"},
      {"uid", "0123456789abcdef0123456789abcdef"},
      {"url_channel", "huawei00"},
  };
  EXPECT_EQ(FormFields(request), want);
}

TEST(TSReportThread, NoUserIdOrNoAppNameMakesNoRequest) {
  ScriptedHttpServer server(
      [](int, const std::string&) { return HttpAnswer(200, R"({"code": 0})"); });
  for (int which = 0; which < 2; ++which) {
    SCOPED_TRACE(which);
    TSReportSettings settings = SettingsFor(server.Port());
    (which == 0 ? settings.userId : settings.appName) = [] { return std::string(); };
    CTSReportThread report(settings);
    ASSERT_TRUE(WaitUntil([&] { return Ended(report); }));
    EXPECT_EQ(report.ExitCode(), 1u);
    EXPECT_EQ(report.LastFailure(), "get uid or product_name failed");
  }
  EXPECT_EQ(server.Requests(), 0);
}

TEST(TSReportThread, EmptyVersionIsSentAsTheFallback) {
  ScriptedHttpServer server(
      [](int, const std::string&) { return HttpAnswer(200, R"({"code": 0})"); });
  TSReportSettings settings = SettingsFor(server.Port());
  settings.version = [] { return std::string(); };
  CTSReportThread report(settings);
  ASSERT_TRUE(WaitUntil([&] { return Ended(report); }));
  ASSERT_EQ(server.Requests(), 1);
  const auto fields = FormFields(server.Received()[0]);
  ASSERT_GE(fields.size(), 2u);
  EXPECT_EQ(fields[1], std::make_pair(std::string("app_version"), std::string("0.9.0.1")));
}

struct TSAnswerCase {
  const char* name;
  std::string answer;
  uint32_t exitCode;
  int requests;
  std::string failure;
};

class TSAnswerTest : public ::testing::TestWithParam<TSAnswerCase> {};

TEST_P(TSAnswerTest, AttemptsAndResult) {
  const TSAnswerCase& c = GetParam();
  ScriptedHttpServer server([&](int, const std::string&) { return c.answer; });
  CTSReportThread report(SettingsFor(server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return Ended(report); }));
  EXPECT_EQ(report.ExitCode(), c.exitCode);
  EXPECT_EQ(report.LastFailure(), c.failure);
  EXPECT_EQ(server.Requests(), c.requests);
}

const TSAnswerCase kTSAnswers[] = {
    // Any status: the body is what counts.
    {"ErrorStatusWithJson", HttpAnswer(400, R"({"code": 400})"), 0, 1, ""},
    {"NotJsonIsNotRetried", HttpAnswer(200, "<html>ok</html>"), 1, 1, "parse decrypt data error"},
    // Text after the value is ignored, as the service's answers have always been read.
    {"JsonWithTrailingText", HttpAnswer(200, R"({"code": 0} and more)"), 0, 1, ""},
    // Nested past the reader's limit: not an answer, and not a crash of the thread.
    {"NestedTooDeepIsNotJson", HttpAnswer(200, std::string(5000, '[')), 1, 1,
     "parse decrypt data error"},
    {"ClosedEveryTime", ScriptedHttpServer::kClose, 1, 3, "parse decrypt data error"},
    {"EmptyBodyEveryTime", HttpAnswer(200, ""), 1, 3, "parse decrypt data error"},
};

INSTANTIATE_TEST_SUITE_P(Table, TSAnswerTest, ::testing::ValuesIn(kTSAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TSReportThread, OwnerDestroyingItWakesASilentServerExchange) {
  ScriptedHttpServer server([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  TSReportSettings settings = SettingsFor(server.Port());
  settings.timeLimitMs = 10 * 60 * 1000;  // only the stop can end the exchange
  auto report = std::make_unique<CTSReportThread>(settings);
  ASSERT_TRUE(WaitUntil([&] { return server.Holding(); }));
  report.reset();  // the owner's destruction: stop, then wait
  EXPECT_TRUE(WaitUntil([&] { return server.PeerClosedWhileHeld() == 1; }));
  EXPECT_EQ(server.Requests(), 1);
}

TEST(TSReportThread, NoSdkFolderGivesNoUserId) { EXPECT_EQ(ReadUserIdLibrary(L""), ""); }

}  // namespace
}  // namespace pelmar
