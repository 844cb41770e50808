#include "services/pkg_record_source.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sdk/envelope.h"
#include "sdk/http_text.h"
#include "server_records_test_server.h"
#include "services/pkg_info.h"

namespace pelmar {
namespace {

using testing::HttpAnswer;
using testing::ScriptedHttpServer;
using testing::WaitUntil;

constexpr const char* kKey = "7d2e94b1c0a85f63e19b4d07a2c6f358";

std::string Sealed(const std::string& payload) { return vek::Seal(kKey, payload); }

std::string Envelope(const std::string& data) {
  return HttpAnswer(200, R"({"code": 0, "message": "success", "data": ")" + data + R"("})");
}

// The SDK's envelope, computed by its portable core, so the exchange is the
// real one without the Windows library.
PkgInfoSettings SettingsFor(uint16_t host_port, uint16_t ip_port) {
  PkgInfoSettings s;
  s.supportHost = {"localhost", host_port};
  s.supportIp = {"127.0.0.1", ip_port};
  s.retryPauseMs = 5;
  s.timeLimitMs = 5000;
  s.buildRequest = [host_port](const std::string& path, const std::string& body) {
    return vek::BuildSignedRequest("localhost", host_port, "10001061", kKey, "/v1.1", path, body);
  };
  s.openPayload = [](const std::string& data) {
    std::string payload;
    return vek::Open(kKey, data, &payload) ? payload : std::string();
  };
  s.version = [] { return std::string("2.1.0.5"); };
  return s;
}

bool Finished(CPkgInfo& info) { return info.Status() != 0; }

TEST(ReadPkgInfoThread, StoresTheSealedRecordSortedByRank) {
  const std::string payload =
      R"({"info": {"package_name": "install", "version": "2.1.1.0", "size": "0",
          "md5": "0123456789abcdef0123456789abcdef"},
          "urls": [{"id": 1, "url": "http://h/1", "rank": 1}, {"id": 2, "url": "http://h/2", "rank": 5},
                   {"id": 3, "url": "http://h/3", "rank": 5}, {"id": 4, "url": "http://h/4", "rank": 3}]})";
  ScriptedHttpServer server([&](int, const std::string&) { return Envelope(Sealed(payload)); });
  PkgInfoSettings settings = SettingsFor(server.Port(), server.Port());
  const std::string expected_request =
      settings.buildRequest(kPkgIndexPath, BuildPkgRequestBody("2.1.0.5"));
  CPkgInfo info(settings);
  ASSERT_TRUE(WaitUntil([&] { return Finished(info); }));
  ASSERT_EQ(info.Status(), 1) << info.LastFailure();
  EXPECT_EQ(info.Version(), "2.1.1.0");
  EXPECT_EQ(info.Md5(), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(info.Size(), kDefaultPackageSize);       // "0" keeps the default
  EXPECT_EQ(info.OriginSize(), kDefaultOriginSize);  // absent keeps the default
  ASSERT_EQ(info.UrlCount(), 4u);
  EXPECT_EQ(info.UrlAt(0), "http://h/2");
  EXPECT_EQ(info.UrlAt(1), "http://h/3");
  EXPECT_EQ(info.UrlAt(2), "http://h/4");
  EXPECT_EQ(info.UrlAt(3), "http://h/1");
  EXPECT_EQ(info.UrlAt(4), "");
  // The SDK's request goes out unchanged, once.
  ASSERT_EQ(server.Requests(), 1);
  EXPECT_EQ(server.Received()[0], expected_request);

  info.Reset();
  EXPECT_EQ(info.Size(), 0);
  EXPECT_EQ(info.OriginSize(), 0);
  EXPECT_EQ(info.UrlCount(), 0u);
  EXPECT_EQ(info.Version(), "");
  EXPECT_EQ(info.Md5(), "");
}

struct AnswerCase {
  const char* name;
  std::string answer;
  std::string failure;
};

class PkgAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

// An answer that arrives but cannot be opened fails at once: no retry.
TEST_P(PkgAnswerTest, FailsWithoutRetry) {
  const AnswerCase& c = GetParam();
  ScriptedHttpServer server([&](int, const std::string&) { return c.answer; });
  CPkgInfo info(SettingsFor(server.Port(), server.Port()));
  ASSERT_TRUE(WaitUntil([&] { return Finished(info); }));
  EXPECT_EQ(info.Status(), 2);
  EXPECT_EQ(info.LastFailure(), c.failure);
  EXPECT_EQ(server.Requests(), 1);
  EXPECT_EQ(info.UrlCount(), 0u);
  EXPECT_EQ(info.Version(), "");
  EXPECT_EQ(info.Size(), kDefaultPackageSize);
}

std::string TamperedPayload() {
  std::string sealed = Sealed(R"({"info": {}, "urls": [{"url": "http://evil/x", "rank": 9}]})");
  sealed[0] = sealed[0] == 'B' ? 'C' : 'B';
  return sealed;
}

std::string TamperedMac() {
  std::string sealed = Sealed(R"({"info": {}, "urls": []})");
  sealed.back() = sealed.back() == '0' ? '1' : '0';
  return sealed;
}

const AnswerCase kAnswerCases[] = {
    {"CodeAsString", HttpAnswer(200, R"({"code": "0", "data": "x"})"), "member doesn't exit"},
    {"CodeNotZero", HttpAnswer(200, R"({"code": 4004, "message": "no package"})"),
     "member doesn't exit"},
    {"NotFoundPage", HttpAnswer(404, "<html>not here</html>"), "Json parse error"},
    {"ServerErrorJson", HttpAnswer(500, R"({"code": 500})"), "member doesn't exit"},
    {"TamperedPayload", Envelope(TamperedPayload()), "decrypt data empty"},
    {"TamperedMac", Envelope(TamperedMac()), "decrypt data empty"},
    {"UnsealedPayload", Envelope(R"({\"info\": {}, \"urls\": []})"), "decrypt data empty"},
    {"PayloadNotJson", Envelope(Sealed("not json")), "parse decrypt data error"},
    {"PayloadWithoutUrls", Envelope(Sealed(R"({"info": {"size": 1}})")), "member not exist"},
    {"PayloadWithoutInfo", Envelope(Sealed(R"({"urls": []})")), "member not exist"},
};

INSTANTIATE_TEST_SUITE_P(Table, PkgAnswerTest, ::testing::ValuesIn(kAnswerCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadPkgInfoThread, FallsBackToTheFixedAddressThenRetries) {
  const std::string good = Envelope(Sealed(R"({"info": {"version": "1"}, "urls": []})"));
  // The host name's server drops every request; the fixed address answers
  // on its second request.
  ScriptedHttpServer host([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  ScriptedHttpServer ip([&](int index, const std::string&) {
    return index == 0 ? std::string(ScriptedHttpServer::kClose) : good;
  });
  CPkgInfo info(SettingsFor(host.Port(), ip.Port()));
  ASSERT_TRUE(WaitUntil([&] { return Finished(info); }));
  ASSERT_EQ(info.Status(), 1) << info.LastFailure();
  EXPECT_EQ(info.Version(), "1");
  EXPECT_EQ(host.Requests(), 2);
  EXPECT_EQ(ip.Requests(), 2);
  // Both receive the same request text.
  EXPECT_EQ(host.Received()[0], ip.Received()[1]);
}

TEST(ReadPkgInfoThread, KeepsAlternatingUntilStoppedThenEnds) {
  ScriptedHttpServer host([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  ScriptedHttpServer ip([](int, const std::string&) { return HttpAnswer(200, ""); });
  CPkgInfo info(SettingsFor(host.Port(), ip.Port()));
  ASSERT_TRUE(WaitUntil([&] { return host.Requests() >= 3 && ip.Requests() >= 3; }));
  EXPECT_EQ(info.Status(), 0);  // still trying
  // Repeated as the owner's destruction repeats it (see StopAndWake).
  ASSERT_TRUE(WaitUntil([&] {
    info.RequestStop();
    return Finished(info);
  }));
  EXPECT_EQ(info.Status(), 2);
  EXPECT_EQ(info.LastFailure(), "user cancel");
  EXPECT_EQ(info.UrlCount(), 0u);
}

TEST(ReadPkgInfoThread, ReaderBlockedOnASilentServerIsWokenByTheStop) {
  ScriptedHttpServer host([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  PkgInfoSettings settings = SettingsFor(host.Port(), host.Port());
  // Far beyond any wait of this test: only the stop can end the exchange.
  settings.timeLimitMs = 10 * 60 * 1000;
  auto info = std::make_unique<CPkgInfo>(settings);
  ASSERT_TRUE(WaitUntil([&] { return host.Holding(); }));
  // Repeated as the owner's destruction repeats it (see StopAndWake).
  ASSERT_TRUE(WaitUntil([&] {
    info->RequestStop();
    return Finished(*info);
  }));
  EXPECT_EQ(info->Status(), 2);
  EXPECT_EQ(info->LastFailure(), "user cancel");
  info.reset();  // joins the ended reader
  EXPECT_TRUE(WaitUntil([&] { return host.PeerClosedWhileHeld() == 1; }));
  EXPECT_EQ(host.Requests(), 1);
}

TEST(ReadPkgInfoThread, DestroyingTheRecordEndsAReaderInAnyState) {
  ScriptedHttpServer host([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  ScriptedHttpServer silent([](int, const std::string&) { return ScriptedHttpServer::kHang; });
  // Destroyed at once, while pausing, and while blocked in an exchange.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    PkgInfoSettings settings = SettingsFor(host.Port(), round == 2 ? silent.Port() : host.Port());
    settings.retryPauseMs = round == 1 ? 10 * 60 * 1000 : 5;
    settings.timeLimitMs = 10 * 60 * 1000;
    auto info = std::make_unique<CPkgInfo>(settings);
    if (round == 1) {
      EXPECT_TRUE(WaitUntil([&] { return host.Requests() >= 2; }));
    }
    if (round == 2) {
      EXPECT_TRUE(WaitUntil([&] { return silent.Holding(); }));
    }
    info.reset();  // must return: the reader is stopped and joined
  }
  EXPECT_TRUE(WaitUntil([&] { return silent.PeerClosedWhileHeld() == 1; }));
}

TEST(ReadPkgInfoThread, NoRequestTextMeansNoExchange) {
  ScriptedHttpServer host([](int, const std::string&) { return ScriptedHttpServer::kClose; });
  PkgInfoSettings settings = SettingsFor(host.Port(), host.Port());
  settings.buildRequest = [](const std::string&, const std::string&) { return std::string(); };
  CPkgInfo info(settings);
  ASSERT_TRUE(WaitUntil([&] { return Finished(info); }));
  EXPECT_EQ(info.Status(), 2);
  EXPECT_EQ(info.LastFailure(), "build send data error");
  EXPECT_EQ(host.Requests(), 0);
}

}  // namespace
}  // namespace pelmar
