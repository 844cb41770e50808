// The three server-record readers against the real maker backend on
// loopback, started by the fixture on free ports (natively: the backend is a
// Linux program). Faults are switched on through its control endpoints.
#include <json/json.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/md5.h"
#include "net/tcp_http.h"
#include "sdk/envelope.h"
#include "sdk/http_text.h"
#include "server_records_test_server.h"
#include "services/pkg_info.h"
#include "services/server_info.h"
#include "services/ts_report_thread.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

using testing::TempDir;
using testing::WaitUntil;

constexpr const char* kKey = "7d2e94b1c0a85f63e19b4d07a2c6f358";
constexpr int kPackageBytes = 4096;

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

Json::Value ParseJson(const std::string& text) {
  Json::Value v;
  std::istringstream in(text);
  std::string errors;
  Json::CharReaderBuilder builder;
  (void)Json::parseFromStream(builder, in, &v, &errors);
  return v;
}

// One backend per test suite: 127.0.0.1 plays the support host name, the
// gateway and the attribution host; 127.0.0.2 the support host's fixed
// address.
class MakerBackend {
 public:
  MakerBackend() {
    const std::string service = std::string(PELMAR_SOURCE_DIR) + "/backend/service.py";
    dir_ = dir_holder_.path().u8string();
    std::ofstream(dir_ + "/channels.json")
        << R"({"number12": {"appId": 12, "appName": "Morvantile", "tesselOcpc": 1},)"
        << R"( "nowelcome": {"appId": "10001061", "appName": "Morvantile",)"
        << R"(  "advertisingAccountName": "acc", "tesselOcpc": false},)"
        << R"( "gone": null})";
    const std::string command = "/usr/bin/python3 -B " + Quoted(service) + " start --dir " +
                                Quoted(dir_) + " --data " + Quoted(dir_) +
                                " --listen 127.0.0.1:0 --listen 127.0.0.2:0 --make-package " +
                                std::to_string(kPackageBytes) + " > /dev/null";
    started_ = std::system(command.c_str()) == 0;
    std::ifstream ports(dir_ + "/port");
    ports >> host_port_ >> ip_port_;
  }
  ~MakerBackend() {
    const std::string service = std::string(PELMAR_SOURCE_DIR) + "/backend/service.py";
    const std::string command =
        "/usr/bin/python3 -B " + Quoted(service) + " stop --dir " + Quoted(dir_) + " > /dev/null";
    (void)std::system(command.c_str());
  }

  bool Started() const { return started_ && host_port_ != 0 && ip_port_ != 0; }
  uint16_t HostPort() const { return host_port_; }
  uint16_t IpPort() const { return ip_port_; }
  std::string PackagePath() const { return dir_ + "/packages/install.exe"; }

  // One control exchange; the parsed JSON answer.
  Json::Value Control(const std::string& method, const std::string& path,
                      const std::string& body = "") {
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    request += "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    CTCPHttp http("127.0.0.1", host_port_);
    (void)http.SetTimeouts(10000, 10000);
    return ParseJson(http.HttpSendRaw(request));
  }
  void SetFaults(const std::string& rules) {
    ASSERT_TRUE(Control("PUT", "/__faults", rules)["ok"].asBool()) << rules;
  }
  void Reset() { Control("POST", "/__reset", "{}"); }
  std::vector<Json::Value> Requests(const std::string& path) {
    std::vector<Json::Value> out;
    const Json::Value answer = Control("GET", "/__requests?path=" + path);
    for (const Json::Value& r : answer["requests"]) out.push_back(r);
    return out;
  }

 private:
  TempDir dir_holder_;
  std::string dir_;
  bool started_ = false;
  uint16_t host_port_ = 0;
  uint16_t ip_port_ = 0;
};

class ServerRecordsBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { backend_ = new MakerBackend(); }
  static void TearDownTestSuite() {
    delete backend_;
    backend_ = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(StartSockets());
    ASSERT_TRUE(backend_->Started());
    backend_->Reset();
  }

  // The product's envelope, computed with the SDK's portable core.
  static PkgInfoSettings PkgSettings() {
    PkgInfoSettings s;
    s.supportHost = {"127.0.0.1", backend_->HostPort()};
    s.supportIp = {"127.0.0.2", backend_->IpPort()};
    s.retryPauseMs = 5;
    const uint16_t port = backend_->HostPort();
    s.buildRequest = [port](const std::string& path, const std::string& body) {
      return vek::BuildSignedRequest("127.0.0.1", port, "10001061", kKey, "/v1.1", path, body);
    };
    s.openPayload = [](const std::string& data) {
      std::string payload;
      return vek::Open(kKey, data, &payload) ? payload : std::string();
    };
    s.version = [] { return std::string("1.0.0.0"); };
    return s;
  }
  static ServerInfoSettings ChannelSettings(const std::string& channel) {
    ServerInfoSettings s;
    s.gateway = {"127.0.0.1", backend_->HostPort()};
    s.hostText = "127.0.0.1";
    s.retryPauseMs = 5;
    s.channel = [channel] { return channel; };
    return s;
  }
  static TSReportSettings ReportSettings() {
    TSReportSettings s;
    s.attribution = {"127.0.0.1", backend_->HostPort()};
    s.hostText = "127.0.0.1";
    s.retryPauseMs = 5;
    s.channel = [] { return std::string("huawei00"); };
    s.userId = [] { return std::string("5e0f1d2c3b4a59687766554433221100"); };
    s.appName = [] { return std::string("Morvantile"); };
    s.machineHash = [] { return Md5Text("00-1A-2B-3C-4D-5E"); };
    s.mid = [] { return std::string("mid-1"); };
    s.version = [] { return std::string("1.0.0.0"); };
    return s;
  }

  static MakerBackend* backend_;
};

MakerBackend* ServerRecordsBackendTest::backend_ = nullptr;

TEST_F(ServerRecordsBackendTest, PackageRecordOfTheServedFile) {
  CPkgInfo info(PkgSettings());
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  ASSERT_EQ(info.Status(), 1) << info.LastFailure();
  EXPECT_EQ(info.Version(), "1.0.0.1");
  EXPECT_EQ(info.Size(), kPackageBytes);
  EXPECT_EQ(info.OriginSize(), kDefaultOriginSize);
  EXPECT_EQ(info.Md5(), Md5OfFile(WideFromUtf8(backend_->PackagePath())));
  ASSERT_EQ(info.UrlCount(), 2u);  // rank 10 (cdn) before rank 5 (mirror)
  EXPECT_NE(info.UrlAt(0).find("/cdn/install.exe"), std::string::npos);
  EXPECT_NE(info.UrlAt(1).find("/mirror/install.exe"), std::string::npos);
  const auto requests = backend_->Requests(std::string("/v1.1") + kPkgIndexPath);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0]["signature"].asString(), "ok");
}

struct PkgFaultCase {
  const char* name;
  std::string rules;
  int status;
  std::string failure;
  std::vector<std::string> urls;  // substrings, in stored order
  int64_t size;
};

class PkgFaultTest : public ServerRecordsBackendTest,
                     public ::testing::WithParamInterface<PkgFaultCase> {};

TEST_P(PkgFaultTest, Outcome) {
  const PkgFaultCase& c = GetParam();
  backend_->SetFaults(c.rules);
  CPkgInfo info(PkgSettings());
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  EXPECT_EQ(info.Status(), c.status);
  EXPECT_EQ(info.LastFailure(), c.failure);
  ASSERT_EQ(info.UrlCount(), c.urls.size());
  for (size_t i = 0; i < c.urls.size(); ++i) EXPECT_EQ(info.UrlAt(i), c.urls[i]);
  EXPECT_EQ(info.Size(), c.size);
}

const PkgFaultCase kPkgFaults[] = {
    {"RanksOneFiveFiveThreeAndSizeZeroText",
     R"([{"path": "/installer/package/index", "action": "payload", "payload":
        {"info": {"version": "2", "size": "0"}, "urls": [
          {"id": 1, "url": "u1", "rank": 1}, {"id": 2, "url": "u2", "rank": 5},
          {"id": 3, "url": "u3", "rank": 5}, {"id": 4, "url": "u4", "rank": 3}]}}])",
     1,
     "",
     {"u2", "u3", "u4", "u1"},
     kDefaultPackageSize},
    {"SizeZeroNumber",
     R"([{"path": "/installer/package/index", "action": "payload", "payload":
        {"info": {"size": 0}, "urls": []}}])",
     1,
     "",
     {},
     kDefaultPackageSize},
    {"CodeAsString",
     R"([{"path": "/installer/package/index", "action": "code", "value": "0"}])",
     2,
     "member doesn't exit",
     {},
     kDefaultPackageSize},
    {"NoUrls",
     R"([{"path": "/installer/package/index", "action": "payload", "payload": {"info": {"size": 5}}}])",
     2,
     "member not exist",
     {},
     kDefaultPackageSize},
    {"TamperedPayload",
     R"([{"path": "/installer/package/index", "action": "tamper"}])",
     2,
     "decrypt data empty",
     {},
     kDefaultPackageSize},
    {"TamperedMac",
     R"([{"path": "/installer/package/index", "action": "tamper", "mode": "mac"}])",
     2,
     "decrypt data empty",
     {},
     kDefaultPackageSize},
    {"GarbageJson",
     R"([{"path": "/installer/package/index", "action": "garbage_json"}])",
     2,
     "Json parse error",
     {},
     kDefaultPackageSize},
    {"PayloadNotJson",
     R"([{"path": "/installer/package/index", "action": "payload", "payload_text": "<html>"}])",
     2,
     "parse decrypt data error",
     {},
     kDefaultPackageSize},
    // The host name's listener drops every request: the fixed address answers.
    {"HostNameDownFixedAddressUp",
     R"([{"path": "/installer/package/index", "listener": "127.0.0.1", "action": "close"},
         {"path": "/installer/package/index", "action": "payload", "payload":
          {"info": {"size": 77}, "urls": [{"url": "via-ip", "rank": 1}]}}])",
     1,
     "",
     {"via-ip"},
     77},
    // The first three requests fail anywhere, then the record comes.
    {"FirstThreeDropped",
     R"([{"path": "/installer/package/index", "action": "close", "times": 3},
         {"path": "/installer/package/index", "action": "payload", "payload":
          {"info": {"size": 78}, "urls": []}}])",
     1,
     "",
     {},
     78},
};

INSTANTIATE_TEST_SUITE_P(Table, PkgFaultTest, ::testing::ValuesIn(kPkgFaults),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerRecordsBackendTest, SilentSupportServerKeepsTheReaderTryingUntilStopped) {
  backend_->SetFaults(
      R"([{"path": "/installer/package/index", "action": "stall", "seconds": 60, "then": "close"}])");
  PkgInfoSettings settings = PkgSettings();
  settings.timeLimitMs = 300;  // short limits: the reader alternates quickly
  auto info = std::make_unique<CPkgInfo>(settings);
  ASSERT_TRUE(WaitUntil([&] {
    const auto requests = backend_->Requests(std::string("/v1.1") + kPkgIndexPath);
    int host = 0, ip = 0;
    for (const Json::Value& r : requests)
      (r["listener"].asString().rfind("127.0.0.2", 0) == 0 ? ip : host)++;
    return host >= 2 && ip >= 2;
  }));
  EXPECT_EQ(info->Status(), 0);
  // Repeated as the owner's destruction repeats it (see StopAndWake).
  ASSERT_TRUE(WaitUntil([&] {
    info->RequestStop();
    return info->Status() != 0;
  }));
  EXPECT_EQ(info->Status(), 2);
  EXPECT_EQ(info->LastFailure(), "user cancel");
  info.reset();
}

struct ChannelBackendCase {
  const char* name;
  std::string channel;
  std::string rules;
  int status;
  int requests;
  ChannelRecord want;
};

class ChannelBackendTest : public ServerRecordsBackendTest,
                           public ::testing::WithParamInterface<ChannelBackendCase> {};

TEST_P(ChannelBackendTest, Outcome) {
  const ChannelBackendCase& c = GetParam();
  if (!c.rules.empty()) backend_->SetFaults(c.rules);
  CServerInfo info(ChannelSettings(c.channel));
  ASSERT_TRUE(WaitUntil([&] { return info.Status() != 0; }));
  EXPECT_EQ(info.Status(), c.status) << info.LastFailure();
  EXPECT_EQ(info.AppId(), c.want.appId);
  EXPECT_EQ(info.AppName(), c.want.appName);
  EXPECT_EQ(info.AttributionFlag(), c.want.attribution);
  EXPECT_EQ(info.AdvertisingAccount(), c.want.advertisingAccountName);
  if (c.want.welcomeUrl == "*") {
    EXPECT_NE(info.WelcomeUrl().find("/welcome"), std::string::npos);
  } else {
    EXPECT_EQ(info.WelcomeUrl(), c.want.welcomeUrl);
  }
  EXPECT_EQ(backend_->Requests("/applicationService/channel/welcome").size(),
            static_cast<size_t>(c.requests));
}

const ChannelBackendCase kChannelBackendCases[] = {
    {"DefaultRecord",
     "huawei00",
     "",
     1,
     1,
     {"10001061", "Morvantile", true, "*", "pelmar_ads_huawei00"}},
    {"AppIdNumberTwelve", "number12", "", 1, 1, {"12", "Morvantile", true, "", ""}},
    {"NoWelcomeUrl", "nowelcome", "", 1, 1, {"10001061", "Morvantile", false, "", "acc"}},
    {"UnknownChannelOtherCode", "gone", "", 1, 1, {}},
    {"CodeAsNumber",
     "huawei00",
     R"([{"path": "/applicationService/channel/welcome", "action": "code", "value": 0}])",
     2,
     1,
     {}},
    {"ThreeFailedExchanges",
     "huawei00",
     R"([{"path": "/applicationService/channel/welcome", "action": "close"}])",
     2,
     3,
     {}},
    {"ServerErrorsThenRecord",
     "number12",
     R"([{"path": "/applicationService/channel/welcome", "action": "status", "status": 500, "times": 2}])",
     1,
     3,
     {"12", "Morvantile", true, "", ""}},
    {"EmptyChannelNoRequest", "", "", 1, 0, {}},
};

INSTANTIATE_TEST_SUITE_P(Table, ChannelBackendTest, ::testing::ValuesIn(kChannelBackendCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServerRecordsBackendTest, AttributionReportReachesTheServiceOnce) {
  CTSReportThread report(ReportSettings());
  ASSERT_TRUE(WaitUntil([&] { return !report.IsRunning(); }));
  EXPECT_EQ(report.ExitCode(), 0u) << report.LastFailure();
  const Json::Value reports = backend_->Control("GET", "/__tessel")["reports"];
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0]["valid"].asBool());
  std::vector<std::string> names;
  std::string uid, channel;
  for (const Json::Value& f : reports[0]["fields"]) {
    names.push_back(f[0].asString());
    if (f[0].asString() == "uid") uid = f[1].asString();
    if (f[0].asString() == "url_channel") channel = f[1].asString();
  }
  EXPECT_EQ(names, (std::vector<std::string>{"app_id", "app_version", "cam", "mid", "product_name",
                                             "uid", "url_channel"}));
  EXPECT_EQ(uid, "5e0f1d2c3b4a59687766554433221100");
  EXPECT_EQ(channel, "huawei00");
}

TEST_F(ServerRecordsBackendTest, AttributionEdgeCases) {
  const struct {
    const char* name;
    std::string rules;
    bool withUid;
    size_t requests;
    uint32_t exitCode;
  } cases[] = {
      {"NonJsonAnswerNotRetried",
       R"([{"path": "/v1/install/tessel", "action": "respond", "body": "<html>ok</html>"}])", true,
       1, 1},
      {"ThreeFailedExchanges", R"([{"path": "/v1/install/tessel", "action": "close"}])", true, 3,
       1},
      {"NoUserIdNoRequest", "[]", false, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    backend_->Reset();
    backend_->SetFaults(c.rules);
    TSReportSettings settings = ReportSettings();
    if (!c.withUid) settings.userId = [] { return std::string(); };
    CTSReportThread report(settings);
    ASSERT_TRUE(WaitUntil([&] { return !report.IsRunning(); }));
    EXPECT_EQ(report.ExitCode(), c.exitCode);
    EXPECT_EQ(backend_->Requests("/v1/install/tessel").size(), c.requests);
  }
}

}  // namespace
}  // namespace pelmar
