#include "base/testing/wait_until.h"
#include "download/query_url_info_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

#include "download/download_test_support.h"
#include "download/downloader.h"
#include "pelmar_config.h"

namespace pelmar {
namespace {

using testing::BackendTest;

// Keeps what the query handed over.
class ResultKeeper : public IUrlInfoReceiver {
 public:
  bool OnUrlInfo(const UrlInfo& info) override {
    std::lock_guard<std::mutex> lock(mutex_);
    info_ = info;
    ++calls_;
    return true;
  }
  UrlInfo Info() {
    std::lock_guard<std::mutex> lock(mutex_);
    return info_;
  }
  int Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

 private:
  std::mutex mutex_;
  UrlInfo info_;
  int calls_ = 0;
};

class QueryUrlInfoTest : public BackendTest {
 protected:
  UrlQuerySettings Settings(IPackageRecord* record) {
    UrlQuerySettings s;
    s.package = record;
    s.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
    s.builtinUrl = backend_->Url(testing::kBuiltinPath);
    s.probeHosts = {"127.0.0.1"};
    s.probePort = backend_->Port();
    s.headRetryPauseMs = 10;
    return s;
  }
  // Runs one query to its end and returns what the receiver got.
  UrlInfo Query(IPackageRecord* record, UrlQuerySettings settings) {
    ResultKeeper keeper;
    {
      QueryUrlInfoThread query("", &keeper, settings);
      EXPECT_TRUE(testing::WaitUntil([&] { return query.IsFinished(); }));
      EXPECT_EQ(keeper.Calls(), 1);
      last_query_url_ = query.GetQueryUrl();
    }
    (void)record;
    return keeper.Info();
  }
  std::string last_query_url_;
};

TEST_F(QueryUrlInfoTest, UsableUrlGivesSizeNameAndUrl) {
  const std::string url = backend_->Url("/cdn/install.exe");
  CFixedPackageRecord record({url, backend_->Url("/mirror/install.exe")}, "", "2.1.0.7");
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(info.size, testing::kPackageBytes);
  // No Content-Disposition: the installer's own name, "_install", the version.
  EXPECT_EQ(info.fileName, L"Morvantile_setup_install_v2.1.0.7.exe");
  EXPECT_EQ(info.urls, (std::vector<std::string>{url, backend_->Url("/mirror/install.exe")}));
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_TRUE(last_query_url_.empty());
  // The HEAD request text, exactly.
  std::vector<testing::BackendRequest> heads;
  for (const auto& r : backend_->Requests("/cdn/install.exe")) {
    if (r.method == "HEAD") heads.push_back(r);
  }
  ASSERT_EQ(heads.size(), 1u);
  EXPECT_EQ(heads[0].head,
            "HEAD /cdn/install.exe HTTP/1.1\r\nHost:127.0.0.1\r\nAccept:*/*\r\n"
            "User-Agent:Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
            "Connection:close\r\n\r\n");
}

// The maker's statement of a record without one is fetched beside the first
// address that answered; the backend signs with the development key.
ReleaseStatement CheckedStatement(const SignedReleaseText& release) {
  ReleaseTrust trust;
  trust.keys = PinnedMakerKeys();
  trust.product = PinnedReleaseProduct();
  trust.now = static_cast<int64_t>(std::time(nullptr));
  ReleaseStatement statement;
  EXPECT_EQ(CheckSignedRelease(release, trust, &statement), ReleaseVerdict::kValid);
  return statement;
}

TEST_F(QueryUrlInfoTest, RecordWithoutAStatementBringsTheDetachedOne) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe"), backend_->Url("/mirror/install.exe")},
                             "", "1.0.0.1");
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(DetachedReleaseGets(), 1);
  EXPECT_EQ(backend_->Requests("/cdn/install.exe.sig").size(), 1u);
  const ReleaseStatement statement = CheckedStatement(info.release);
  EXPECT_EQ(statement.size, testing::kPackageBytes);
}

TEST_F(QueryUrlInfoTest, RecordWithAStatementFetchesNoSig) {
  const SignedReleaseText release = Release();
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "1.0.0.1",
                             IPackageRecord::kReady, release);
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(info.release.statement, release.statement);
  EXPECT_EQ(DetachedReleaseGets(), 0);
}

TEST_F(QueryUrlInfoTest, BuiltinAddressBringsItsSig) {
  CFixedPackageRecord record({}, "", "", IPackageRecord::kFailed);
  const UrlInfo info = Query(&record, Settings(&record));
  ASSERT_EQ(info.urls.size(), 1u);
  EXPECT_EQ(backend_->Requests(std::string(testing::kBuiltinPath) + ".sig").size(), 1u);
  EXPECT_EQ(CheckedStatement(info.release).size, testing::kPackageBytes);
}

TEST_F(QueryUrlInfoTest, ADetachedReleaseNotOfTheFormIsNone) {
  const char* const answers[] = {
      R"({"path": "/cdn/install.exe.sig", "action": "respond", "body": "pelmar-release=1\n"})",
      R"({"path": "/cdn/install.exe.sig", "action": "status", "status": 404})",
      R"({"path": "/cdn/install.exe.sig", "action": "respond", "body": "x"})",
      R"({"path": "/cdn/install.exe.sig", "action": "close"})",
  };
  for (const char* rule : answers) {
    SCOPED_TRACE(rule);
    ASSERT_TRUE(backend_->SetFaults(std::string("[") + rule + "]"));
    CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "1.0.0.1");
    const UrlInfo info = Query(&record, Settings(&record));
    EXPECT_EQ(info.urls.size(), 1u);
    EXPECT_TRUE(info.release.empty());
  }
}

TEST_F(QueryUrlInfoTest, DetachedReleaseAddress) {
  EXPECT_EQ(DetachedReleaseUrl("http://h/a/install.exe"), "http://h/a/install.exe.sig");
  EXPECT_EQ(DetachedReleaseUrl("http://h/a/install.exe?x=1"), "http://h/a/install.exe.sig?x=1");
}

TEST_F(QueryUrlInfoTest, ContentDispositionNamesTheFile) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "action": "headers", "set": {"Content-Disposition": "attachment; filename=\"setup_from_server.exe\""}}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "1.0");
  EXPECT_EQ(Query(&record, Settings(&record)).fileName, L"setup_from_server.exe");
}

TEST_F(QueryUrlInfoTest, RedirectToAnotherHostReplacesTheUrl) {
  const std::string moved = backend_->OtherUrl("/mirror/install.exe");
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "listener": "127.0.0.1", "action": "redirect", "location": ")" + moved +
      R"("}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "");
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(info.urls, std::vector<std::string>{moved});
  EXPECT_EQ(info.size, testing::kPackageBytes);
  const auto seen = backend_->Requests("/mirror/install.exe");
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].head.find("Host:127.0.0.2\r\n"), std::string::npos);
}

TEST_F(QueryUrlInfoTest, RelativeRedirectResolvesAgainstTheFirstUrl) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "action": "redirect", "location": "/mirror/install.exe"}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "");
  EXPECT_EQ(Query(&record, Settings(&record)).urls,
            std::vector<std::string>{backend_->Url("/mirror/install.exe")});
}

// Faults on every path: the package URL and the built-in one both fail.
struct FailureCase {
  const char* why;
  std::string rules;
  std::vector<std::string> events;
};

class QueryUrlFailureTest : public QueryUrlInfoTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(QueryUrlFailureTest, EndsWithAnEmptyResult) {
  const FailureCase& c = GetParam();
  SCOPED_TRACE(c.why);
  ASSERT_TRUE(backend_->SetFaults(c.rules));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "1.0");
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_TRUE(info.urls.empty());
  EXPECT_TRUE(info.fileName.empty());
  EXPECT_EQ(ErrorStatuses(), c.events);
}

const FailureCase kFailures[] = {
    {"404 on HEAD: the record's URL is skipped, then the built-in URL fails the same way",
     R"([{"method": "HEAD", "action": "status", "status": 404}])",
     {"获取头信息失败", "获取头信息失败"}},
    {"HEAD without Content-Length: no URL, then the built-in URL fails the same way",
     R"([{"method": "HEAD", "action": "no_content_length"}])",
     {"获取包信息失败"}},
    {"ten failed HEADs for the record's URL, then ten for the built-in one",
     R"([{"method": "HEAD", "action": "close"}])",
     {"重试次数过多", "获取头信息失败", "重试次数过多", "获取头信息失败"}},
};
INSTANTIATE_TEST_SUITE_P(Cases, QueryUrlFailureTest, ::testing::ValuesIn(kFailures));

TEST(BuiltinDownloadUrlTest, NamesTheInstallerPathOnTheConfiguredCdn) {
  const std::string port =
      config::kCdn.port == 80 ? std::string() : ":" + std::to_string(config::kCdn.port);
  EXPECT_EQ(BuiltinDownloadUrl(), std::string("http://") + config::kCdn.host + port +
                                      "/application/soft_package/pc/10001061/software/install.exe");
}

// The record's addresses are mirrors: each one that fails is skipped, the
// next is asked, and the built-in address after them all.
struct FailoverCase {
  const char* why;
  std::string rules;
  std::vector<std::string> candidates;  // paths on the backend, or whole URLs
  std::string expected;                 // the path of the one URL the query ends with
  std::vector<std::string> events;
};

class QueryUrlFailoverTest : public QueryUrlInfoTest,
                             public ::testing::WithParamInterface<FailoverCase> {};

TEST_P(QueryUrlFailoverTest, FailingCandidatesAreSkipped) {
  const FailoverCase& c = GetParam();
  SCOPED_TRACE(c.why);
  ASSERT_TRUE(backend_->SetFaults(c.rules));
  std::vector<std::string> urls;
  for (const std::string& candidate : c.candidates) {
    urls.push_back(candidate[0] == '/' ? backend_->Url(candidate) : candidate);
  }
  CFixedPackageRecord record(urls, "", "1.0");
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(info.urls, std::vector<std::string>{backend_->Url(c.expected)});
  EXPECT_EQ(info.size, testing::kPackageBytes);
  EXPECT_EQ(ErrorStatuses(), c.events);
}

const FailoverCase kFailovers[] = {
    {"404 on the first mirror: the second one is used",
     R"([{"method": "HEAD", "path": "/cdn/", "action": "status", "status": 404}])",
     {"/cdn/install.exe", "/mirror/install.exe"},
     "/mirror/install.exe",
     {"获取头信息失败"}},
    {"no answer from the first mirror: the second one is used",
     R"([{"method": "HEAD", "path": "/cdn/", "action": "close"}])",
     {"/cdn/install.exe", "/mirror/install.exe"},
     "/mirror/install.exe",
     {"重试次数过多", "获取头信息失败"}},
    {"a redirect loop on the only mirror: the built-in URL is used",
     R"([{"method": "HEAD", "path": "/cdn/", "action": "redirect"}])",
     {"/cdn/install.exe"},
     testing::kBuiltinPath,
     {"获取头信息失败"}},
    {"an address that cannot be split: the built-in URL is used",
     "[]",
     {"http://no-path-here"},
     testing::kBuiltinPath,
     {"初始化失败"}},
    {"every mirror fails: the built-in URL is used",
     R"([{"method": "HEAD", "path": "/cdn/", "action": "status", "status": 500},
         {"method": "HEAD", "path": "/mirror/", "action": "status", "status": 404}])",
     {"/cdn/install.exe", "/mirror/install.exe"},
     testing::kBuiltinPath,
     {"获取头信息失败", "获取头信息失败"}},
};
INSTANTIATE_TEST_SUITE_P(Cases, QueryUrlFailoverTest, ::testing::ValuesIn(kFailovers));

TEST_F(QueryUrlInfoTest, RedirectLoopStopsAtTheBound) {
  ASSERT_TRUE(
      backend_->SetFaults(R"([{"method": "HEAD", "path": "/cdn/", "action": "redirect"}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "");
  (void)Query(&record, Settings(&record));
  EXPECT_EQ(Count("HEAD", "/cdn/"), QueryUrlInfoThread::kMaxRedirects + 1);
}

TEST_F(QueryUrlInfoTest, RecordThatStaysReadingFallsBackToTheBuiltinUrl) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "", IPackageRecord::kReading);
  UrlQuerySettings s = Settings(&record);
  s.packageWaitMs = 300;  // the product waits 10 s
  const UrlInfo info = Query(&record, s);
  EXPECT_EQ(info.urls, std::vector<std::string>{backend_->Url(testing::kBuiltinPath)});
  EXPECT_EQ(last_query_url_, backend_->Url(testing::kBuiltinPath));
  EXPECT_EQ(Count("HEAD", "/cdn/"), 0);
}

TEST_F(QueryUrlInfoTest, FailedRecordFallsBackAtOnce) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "", IPackageRecord::kFailed);
  const UrlInfo info = Query(&record, Settings(&record));
  EXPECT_EQ(info.urls, std::vector<std::string>{backend_->Url(testing::kBuiltinPath)});
  // No version is known for the built-in package.
  EXPECT_EQ(info.fileName, L"Morvantile_setup_install.exe");
}

TEST_F(QueryUrlInfoTest, UnreachableSupportServerFailsTheProbe) {
  uint16_t closed_port = 0;
  {
    CSocket s(SockOpenTcp());
    ASSERT_TRUE(SockBind(s.Get(), LoopbackAddress(), 0));
    closed_port = SockLocalPort(s.Get());
  }
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "", IPackageRecord::kReading);
  UrlQuerySettings s = Settings(&record);
  s.probePort = closed_port;
  const UrlInfo info = Query(&record, s);
  EXPECT_TRUE(info.urls.empty());
  EXPECT_EQ(ErrorStatuses(), std::vector<std::string>{"网络失败"});
}

// A server that holds every HEAD open: each exchange ends at its own limit,
// and the whole query at its deadline instead of after ten attempts and the
// built-in address.
TEST_F(QueryUrlInfoTest, SilentServerEndsTheQueryAtItsDeadline) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"method": "HEAD", "action": "stall", "seconds": 60, "then": "close"}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "");
  UrlQuerySettings s = Settings(&record);
  s.headTimeoutMs = 100;  // each HEAD ends within 400 ms
  s.deadlineMs = 700;
  const UrlInfo info = Query(&record, s);
  EXPECT_TRUE(info.urls.empty());
  EXPECT_GE(Count("HEAD", "/cdn/"), 1);
  EXPECT_LT(Count("HEAD", "/cdn/"), QueryUrlInfoThread::kHeadAttempts);
  EXPECT_EQ(Count("HEAD", testing::kBuiltinPath), 0);
}

TEST_F(QueryUrlInfoTest, DestroyingAWaitingQueryStopsIt) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "", IPackageRecord::kReading);
  ResultKeeper keeper;
  {
    QueryUrlInfoThread query("", &keeper, Settings(&record));
  }  // the destructor stops the wait for the record
  EXPECT_EQ(keeper.Calls(), 1);
  EXPECT_TRUE(keeper.Info().urls.empty());
  EXPECT_TRUE(ErrorStatuses().empty());
}

}  // namespace
}  // namespace pelmar
