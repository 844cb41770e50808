#include "download/downloader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "base/file_system.h"
#include "base/md5.h"
#include "base/testing/wait_until.h"
#include "base/text_convert.h"
#include "download/download_file_name.h"
#include "download/download_test_support.h"
#include "net/socket_ops.h"
#include "net/tcp_client.h"
#include "loopback_server.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;

std::string ReadFile(const std::wstring& path) {
  std::ifstream in(std::filesystem::u8path(Utf8FromWide(path)), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::u8path(Utf8FromWide(path)),
                    std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct DownloaderDeleter {
  void operator()(IDownloader* d) const {
    if (d != nullptr) d->Destroy();
  }
};
using DownloaderPtr = std::unique_ptr<IDownloader, DownloaderDeleter>;

class DownloaderTest : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    md5_ = backend_->PackageMd5();
    ASSERT_EQ(md5_.size(), 32u);
    data_dir_ = dir_.Wide() + testing::TempDir::kSeparator;
    settings_ = std::make_unique<InstallerSettings>(data_dir_ + L"config.ini");
  }

  DownloaderServices Services(IPackageRecord* record) {
    DownloaderServices s;
    s.query.package = record;
    s.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
    s.query.builtinUrl = backend_->Url(testing::kBuiltinPath);
    s.query.probeHosts = {"127.0.0.1"};
    s.query.probePort = backend_->Port();
    s.query.headRetryPauseMs = 10;
    s.settings = settings_.get();
    s.productDataDirectory = data_dir_;
    s.productVersionOfFile = [this](const std::wstring& path) {
      const auto it = versions_.find(path);
      return it == versions_.end() ? std::wstring() : it->second;
    };
    s.installedProductPath = [this] { return installed_path_; };
    s.installedProductVersion = [this] { return installed_version_; };
    return s;
  }

  // Polls like the progress page until the state is no longer "running";
  // bounded so a hang fails the test.
  static int32_t PollToEnd(IDownloader* d, std::vector<int32_t>* progress = nullptr) {
    int32_t state = d->Poll();
    (void)testing::WaitUntil([&] {
      state = d->Poll();
      if (progress != nullptr) progress->push_back(d->GetProgress());
      return state != IDownloader::kRunning;
    });
    return state;
  }

  std::string Package() { return backend_->ReadPackage(); }

  std::string md5_;
  std::wstring data_dir_;
  std::unique_ptr<InstallerSettings> settings_;
  std::map<std::wstring, std::wstring> versions_;  // product versions by path
  std::wstring installed_path_, installed_version_;
};

TEST_F(DownloaderTest, DownloadsVerifiesAndRecords) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->GetProgress(), 0);
  EXPECT_STREQ(d->GetFilePath(), L"");
  EXPECT_EQ(d->Poll(), IDownloader::kNew);
  ASSERT_TRUE(d->Start());
  std::vector<int32_t> progress;
  ASSERT_EQ(PollToEnd(d.get(), &progress), IDownloader::kDone)
      << ::testing::PrintToString(ErrorStatuses());
  EXPECT_EQ(d->GetProgress(), 100);
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1], progress[i]);

  const std::wstring path = d->GetFilePath();
  EXPECT_EQ(path, data_dir_ + L"Morvantile_setup_install_v1.0.0.1.exe");
  EXPECT_EQ(ReadFile(path), Package());
  // Two ranges of an odd length: the second one byte longer.
  const int64_t half = testing::kPackageBytes / 2;
  std::vector<std::string> ranges = RangeLines();
  std::sort(ranges.begin(), ranges.end());
  EXPECT_EQ(ranges, (std::vector<std::string>{"Range:bytes=0-" + std::to_string(half - 1),
                                              "Range:bytes=" + std::to_string(half) + "-" +
                                                  std::to_string(testing::kPackageBytes - 1)}));
  EXPECT_EQ(EventNames(), (std::vector<std::string>{"vSoftDownloadStart", "pSoftDownloadResult"}));
  const auto result = logger_.EventsNamed("pSoftDownloadResult");
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0].strings.at("soft_download_status"), "下载成功");
  EXPECT_GE(result[0].ints.at("download_time"), 0);
  // Recorded for a later run, in memory and in the file.
  EXPECT_EQ(settings_->Path(), path);
  EXPECT_EQ(settings_->Md5(), std::wstring(md5_.begin(), md5_.end()));
  InstallerSettings reread(data_dir_ + L"config.ini");
  EXPECT_EQ(reread.Path(), path);
  // Start on a finished download does nothing more.
  EXPECT_TRUE(d->Start());
  EXPECT_EQ(d->Poll(), IDownloader::kDone);
  EXPECT_EQ(EventNames().size(), 2u);
}

// Resolutions of the test's host name, by the system resolver hook.
std::atomic<int> g_cdn_resolutions{0};

bool ResolveCdnName(const std::string& host, uint32_t* address) {
  if (host == "cdn.test") ++g_cdn_resolutions;
  return SystemResolve(host == "cdn.test" ? "127.0.0.1" : host, address);
}

TEST_F(DownloaderTest, HostResolvedOncePerDownload) {
  ResolverTestHooks hooks;
  hooks.systemResolve = &ResolveCdnName;
  SetResolverTestHooks(hooks);
  g_cdn_resolutions = 0;
  const std::string url =
      "http://cdn.test:" + std::to_string(backend_->Port()) + "/cdn/install.exe";
  CFixedPackageRecord record({url}, md5_, "1.0.0.1", IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone) << ::testing::PrintToString(ErrorStatuses());
  EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
  EXPECT_EQ(RangeLines().size(), 2u);
  // The HEAD resolved it; both ranges connected to what it found.
  EXPECT_EQ(g_cdn_resolutions.load(), 1);
}

TEST_F(DownloaderTest, OneByteFileRunsOneThread) {
  ASSERT_TRUE(backend_->WritePackage("one.bin", "Z"));
  CFixedPackageRecord record({backend_->Url("/cdn/one.bin")}, Md5Text("Z"), "",
                             IPackageRecord::kReady, Release("one.bin"));
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(ReadFile(d->GetFilePath()), "Z");
  EXPECT_EQ(RangeLines("/cdn/one.bin"), std::vector<std::string>{"Range:bytes=0-0"});
}

TEST_F(DownloaderTest, FixedNameForChannelVersions) {
  versions_[L""] = L"3.97.0.1";  // the installer's own product version
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(std::wstring(d->GetFilePath()), data_dir_ + L"install_qihu3600.exe");
}

// A fault of the CDN and whether the controller must still end with the file.
struct FaultCase {
  const char* why;
  std::string rules;
  int32_t state;
  // Range lines that must appear among the requests (resumptions).
  std::vector<std::string> must_ask;
  std::vector<std::string> events;
};

class DownloaderFaultTest : public DownloaderTest,
                            public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DownloaderFaultTest, EndsWithTheExactPackageOrNotDone) {
  const FaultCase& c = GetParam();
  SCOPED_TRACE(c.why);
  ASSERT_TRUE(backend_->SetFaults(c.rules));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  const int32_t state = PollToEnd(d.get());
  EXPECT_EQ(state, c.state);
  if (state == IDownloader::kDone) {
    EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
  }
  const std::vector<std::string> asked = RangeLines();
  for (const std::string& line : c.must_ask) {
    EXPECT_NE(std::find(asked.begin(), asked.end(), line), asked.end()) << line;
  }
  EXPECT_EQ(ErrorStatuses(), c.events);
}

const FaultCase kFaults[] = {
    {"connection dropped mid-range, resumed",
     R"([{"path": "/cdn/", "method": "GET", "action": "drop", "after_bytes": 100000, "times": 1}])",
     IDownloader::kDone,
     {},
     {}},
    {"a stall past the 2000 ms limit",
     R"([{"path": "/cdn/", "method": "GET", "action": "stall", "seconds": 3, "after_bytes": 50000, "times": 1, "then": "close"}])",
     IDownloader::kDone,
     {},
     {}},
    {"a server that ignores ranges once",
     R"([{"path": "/cdn/", "method": "GET", "action": "ignore_range", "times": 1}])",
     IDownloader::kDone,
     {},
     {}},
    {"a shifted range once",
     R"([{"path": "/cdn/", "method": "GET", "action": "wrong_range", "times": 1}])",
     IDownloader::kDone,
     {},
     {}},
    {"bytes past the range end",
     R"([{"path": "/cdn/", "method": "GET", "action": "extra_bytes", "count": 5000}])",
     IDownloader::kDone,
     {},
     {}},
    {"a chunked range answer once",
     R"([{"path": "/cdn/", "method": "GET", "action": "chunked", "times": 1}])",
     IDownloader::kDone,
     {},
     {}},
    {"404 on HEAD: the record's URL is skipped and the built-in one fails too",
     R"([{"method": "HEAD", "action": "status", "status": 404}])",
     IDownloader::kFailed,
     {},
     {"获取头信息失败", "获取头信息失败", "参数错误"}},
    {"HEAD without Content-Length",
     R"([{"method": "HEAD", "action": "no_content_length"}])",
     IDownloader::kFailed,
     {},
     {"获取包信息失败", "参数错误"}},
    {"redirect loop on the record's only URL: the built-in URL serves the package",
     R"([{"method": "HEAD", "path": "/cdn/", "action": "redirect"}])",
     IDownloader::kDone,
     {},
     {"获取头信息失败"}},
};
INSTANTIATE_TEST_SUITE_P(Cases, DownloaderFaultTest, ::testing::ValuesIn(kFaults));

TEST_F(DownloaderTest, DroppedRangeResumesFromTheReceivePosition) {
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "method": "GET", "action": "drop", "after_bytes": 100000, "times": 1}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  const std::vector<std::string> asked = RangeLines();
  ASSERT_EQ(asked.size(), 3u);
  // The dropped one was one of the two halves; its resumption starts 100000
  // bytes later and ends where it did.
  const int64_t half = testing::kPackageBytes / 2;
  const std::string first_resumed = "Range:bytes=100000-" + std::to_string(half - 1);
  const std::string second_resumed = "Range:bytes=" + std::to_string(half + 100000) + "-" +
                                     std::to_string(testing::kPackageBytes - 1);
  EXPECT_TRUE(asked[2] == first_resumed || asked[2] == second_resumed) << asked[2];
  EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
}

TEST_F(DownloaderTest, RedirectOfTheDownloadToAnotherHost) {
  // HEAD answers normally; the GETs are sent to the other listener.
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "method": "GET", "listener": "127.0.0.1", "action": "redirect", "location": ")" +
      backend_->OtherUrl("/mirror/install.exe") + R"("}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
  int moved = 0;
  for (const auto& r : backend_->Requests("/mirror/install.exe")) {
    EXPECT_EQ(r.listener.substr(0, 9), "127.0.0.2");
    EXPECT_NE(r.head.find("\r\nHost:127.0.0.2\r\n"), std::string::npos) << r.head;
    ++moved;
  }
  EXPECT_EQ(moved, 2);
}

// The verified file is handed to the setup run once, while still held; a
// later start checks it again (no new download, no new start event), and a
// file changed in between is refused, removed and downloaded afresh.
TEST_F(DownloaderTest, CheckedFileIsStartedOnceAndCheckedAgainBeforeTheNext) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  EXPECT_FALSE(d->StartCheckedFile([](const std::wstring&) { FAIL() << "nothing verified yet"; }));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  const std::wstring path = d->GetFilePath();
  std::vector<std::wstring> started;
  ASSERT_TRUE(d->StartCheckedFile([&](const std::wstring& p) { started.push_back(p); }));
  EXPECT_EQ(started, std::vector<std::wstring>{path});
  // Let go: not again without a new check.
  EXPECT_FALSE(d->StartCheckedFile([](const std::wstring&) { FAIL() << "let go already"; }));
  EXPECT_EQ(d->Poll(), IDownloader::kNew);

  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_TRUE(d->StartCheckedFile([&](const std::wstring& p) { started.push_back(p); }));
  EXPECT_EQ(started.size(), 2u);
  EXPECT_EQ(Count("GET", "/cdn/"), 2);
  EXPECT_EQ(logger_.EventsNamed("vSoftDownloadStart").size(), 1u);

  // Changed after the start: refused, removed, and downloaded again.
  WriteFile(path, "another program");
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
  EXPECT_TRUE(ErrorStatuses().empty());  // an MD5 mismatch reports nothing of its own
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(d->StartCheckedFile([](const std::wstring&) { FAIL() << "refused file"; }));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(ReadFile(path), Package());
  EXPECT_EQ(Count("GET", "/cdn/"), 4);
}

TEST_F(DownloaderTest, DigestMismatchResetsAndANewStartDownloadsAgain) {
  ASSERT_TRUE(backend_->SetFaults(R"([{"path": "/cdn/", "action": "bad_md5"}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
  // The partial file is recreated empty at full size; nothing has the final
  // name and nothing is recorded.
  const std::wstring path = d->GetFilePath();
  EXPECT_EQ(ReadFile(path + kPartialFileSuffix), std::string(testing::kPackageBytes, '\0'));
  EXPECT_FALSE(FileExists(path));
  EXPECT_EQ(d->GetProgress(), 0);
  EXPECT_TRUE(settings_->Path().empty());
  EXPECT_TRUE(logger_.EventsNamed("pSoftDownloadResult").empty());

  ASSERT_TRUE(backend_->ClearFaults());
  ASSERT_TRUE(backend_->Reset());
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(ReadFile(path), Package());
  // Everything again, both halves from their first byte.
  const int64_t half = testing::kPackageBytes / 2;
  std::vector<std::string> asked = RangeLines();
  std::sort(asked.begin(), asked.end());
  EXPECT_EQ(asked, (std::vector<std::string>{"Range:bytes=0-" + std::to_string(half - 1),
                                             "Range:bytes=" + std::to_string(half) + "-" +
                                                 std::to_string(testing::kPackageBytes - 1)}));
  EXPECT_EQ(Count("HEAD", "/cdn/"), 0);  // the ranges were kept, no new query
}

TEST_F(DownloaderTest, UppercaseDigestNeverMatches) {
  std::string upper = md5_;
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, upper, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
}

TEST_F(DownloaderTest, WithoutDigestTheFileIsAcceptedAndRecordedByItsOwn) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, "", "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(settings_->Md5(), std::wstring(md5_.begin(), md5_.end()));
}

TEST_F(DownloaderTest, RecordedNewEnoughDownloadIsReusedWithoutDownloading) {
  const std::wstring stored = data_dir_ + L"stored_setup.exe";
  WriteFile(stored, Package());
  ASSERT_TRUE(settings_->ValidateAndRecord(WideFromUtf8(md5_), stored, false));
  versions_[stored] = L"1.0.0.2";
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(std::wstring(d->GetFilePath()), stored);
  EXPECT_EQ(Count("GET", "/cdn/"), 0);
  const auto result = logger_.EventsNamed("pSoftDownloadResult");
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0].strings.at("soft_download_status"), "存在本地文件");
  EXPECT_EQ(result[0].ints.at("download_time"), -1);
}

TEST_F(DownloaderTest, RecordedDownloadIsNotReusedWhenOlderOrChanged) {
  const std::wstring stored = data_dir_ + L"stored_setup.exe";
  WriteFile(stored, "an earlier download");
  const std::string digest = Md5Text("an earlier download");
  struct Case {
    const char* why;
    const wchar_t* version;
    bool change_file;
  } cases[] = {
      {"older in one part", L"1.0.0.0", false},
      {"2.0 against 1.5 is not newer", L"2.0.0.0", false},
      {"new enough, but the file changed since it was recorded", L"1.0.0.2", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ASSERT_TRUE(backend_->Reset());
    WriteFile(stored, "an earlier download");
    ASSERT_TRUE(
        settings_->ValidateAndRecord(std::wstring(digest.begin(), digest.end()), stored, false));
    if (c.change_file) WriteFile(stored, "tampered");
    versions_[stored] = c.version;
    CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_,
                               c.change_file ? "1.0.0.1" : "1.5.0.1");
    DownloaderPtr d(CreateDownloader(Services(&record)));
    ASSERT_TRUE(d->Start());
    ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
    EXPECT_NE(std::wstring(d->GetFilePath()), stored);
    EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
    EXPECT_EQ(Count("GET", "/cdn/"), 2);
  }
}

TEST_F(DownloaderTest, RecordedFileWithoutThePackageDigestIsNeverReused) {
  // The settings agree with the file, but only the package digest vouches
  // for what is run: a file someone recorded there is downloaded over.
  const std::wstring stored = data_dir_ + L"evil.exe";
  WriteFile(stored, "not the package");
  const std::string digest = Md5Text("not the package");
  struct Case {
    const char* why;
    std::string package_md5;
    const char* fault;
  } cases[] = {
      {"new enough by version", md5_, ""},
      {"after a failed query", md5_, R"([{"method": "HEAD", "action": "status", "status": 404}])"},
      {"after a failed query, no package digest", "",
       R"([{"method": "HEAD", "action": "status", "status": 404}])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ASSERT_TRUE(backend_->Reset());
    ASSERT_TRUE(backend_->SetFaults(*c.fault ? c.fault : "[]"));
    ASSERT_TRUE(settings_->ValidateAndRecord(WideFromUtf8(digest), stored, false));
    versions_[stored] = L"9.9.9.9";
    CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, c.package_md5, "1.0.0.1",
                               IPackageRecord::kReady, Release());
    DownloaderPtr d(CreateDownloader(Services(&record)));
    ASSERT_TRUE(d->Start());
    const int32_t state = PollToEnd(d.get());
    EXPECT_NE(std::wstring(d->GetFilePath()), stored);
    EXPECT_TRUE(
        logger_.EventsNamed("pSoftDownloadResult").empty() ||
        logger_.EventsNamed("pSoftDownloadResult").back().strings.at("soft_download_status") !=
            "存在本地文件");
    EXPECT_EQ(state, *c.fault ? IDownloader::kFailed : IDownloader::kDone);
  }
}

TEST_F(DownloaderTest, FailedQueryFallsBackToARecordedDownload) {
  const std::wstring stored = data_dir_ + L"stored_setup.exe";
  WriteFile(stored, Package());
  ASSERT_TRUE(settings_->ValidateAndRecord(WideFromUtf8(md5_), stored, false));
  ASSERT_TRUE(backend_->SetFaults(R"([{"method": "HEAD", "action": "status", "status": 404}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(std::wstring(d->GetFilePath()), stored);
}

TEST_F(DownloaderTest, UnwritableDataFolderFailsWithoutAnEvent) {
  // A regular file where the folder should be: nothing can be created in it.
  WriteFile(data_dir_ + L"not_a_folder", "x");
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderServices services = Services(&record);
  services.productDataDirectory = data_dir_ + L"not_a_folder" + testing::TempDir::kSeparator;
  DownloaderPtr d(CreateDownloader(services));
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
  // "写文件出错" belongs to a download thread's failed write; here no thread ran.
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_EQ(EventNames(), std::vector<std::string>{"vSoftDownloadStart"});
  EXPECT_EQ(Count("GET", "/cdn/"), 0);
}

TEST_F(DownloaderTest, DestroyWhileRetryingEnds) {
  // Every download request fails, so both threads wait between attempts.
  ASSERT_TRUE(backend_->SetFaults(R"([{"method": "GET", "action": "status", "status": 503}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  EXPECT_TRUE(testing::WaitUntilEvery([&] { return Count("GET", "/cdn/") >= 2; },
                                      testing::kWaitLimit, std::chrono::milliseconds(50)));
  EXPECT_EQ(d->Poll(), IDownloader::kRunning);
  const auto before = std::chrono::steady_clock::now();
  d.reset();  // cancels both threads and waits for them
  const auto took = std::chrono::steady_clock::now() - before;
  // Reported, not asserted: speed belongs to the benchmarks.
  std::printf(
      "destroy while retrying took %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  EXPECT_TRUE(ErrorStatuses().empty());
}

// The quit's stop: every thread is asked to end without waiting, wherever it
// waits (a HEAD's connect towards an address that drops every packet, a
// range's receive from a server gone silent), and a stopped download reports
// nothing: it did not fail, the user left.
TEST_F(DownloaderTest, RequestStopEndsEveryThreadWithoutAReport) {
  testing::LoopbackBlackHole hole;
  ASSERT_NE(hole.Port(), 0);
  struct Case {
    const char* what;
    std::string url;
    const char* faults;
  };
  const Case cases[] = {
      {"query connecting", "http://127.0.0.1:" + std::to_string(hole.Port()) + "/cdn/install.exe",
       "[]"},
      {"ranges receiving", backend_->Url("/cdn/install.exe"),
       R"([{"method": "GET", "path": "/cdn/", "action": "stall", "seconds": 60}])"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(backend_->SetFaults(c.faults));
    CFixedPackageRecord record({c.url}, md5_, "1.0.0.1", IPackageRecord::kReady, Release());
    DownloaderPtr d(CreateDownloader(Services(&record)));
    ASSERT_TRUE(d->Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // inside their waits
    ASSERT_EQ(d->Poll(), IDownloader::kRunning);
    ASSERT_FALSE(d->ThreadsEnded());
    d->RequestStop();
    // A guard against a hang: a receive ends within its limit at the latest.
    EXPECT_TRUE(testing::WaitUntil([&] { return d->ThreadsEnded(); }));
    EXPECT_TRUE(ErrorStatuses().empty());
    d.reset();
  }
}

TEST_F(DownloaderTest, ThreadFailureThenStartResumesOnlyTheIncompleteRange) {
  // The second half fails every attempt until the fault is lifted.
  const int64_t half = testing::kPackageBytes / 2;
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"method": "GET", "path": "/cdn/", "action": "drop", "after_bytes": 70000, "skip": 1}])"));
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderServices services = Services(&record);
  services.timings.betweenAttemptsMs = 10;
  DownloaderPtr d(CreateDownloader(services));
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
  // The second range always uses up its attempts; on a loaded machine the
  // first may too (a receive that waits past its limit is retried and then
  // cut like the rest), which changes nothing below.
  const std::vector<std::string> errors = ErrorStatuses();
  EXPECT_FALSE(errors.empty());
  for (const std::string& e : errors) EXPECT_EQ(e, "重试超过最大次数");
  const int32_t progress = d->GetProgress();
  EXPECT_GT(progress, 0);
  EXPECT_LT(progress, 100);

  ASSERT_TRUE(backend_->ClearFaults());
  ASSERT_TRUE(backend_->Reset());
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(ReadFile(d->GetFilePath()), Package());
  // Each incomplete range resumed from its first byte not yet written.
  for (const std::string& line : RangeLines()) {
    EXPECT_NE(line, "Range:bytes=0-" + std::to_string(half - 1));
    EXPECT_NE(line, "Range:bytes=" + std::to_string(half) + "-" +
                        std::to_string(testing::kPackageBytes - 1));
  }
}

// Lets the first name resolution through and refuses every later one: the
// URL query's HEAD resolves the host, and the download threads, handed what
// it found, never resolve it again (so a resolver that fails after the query
// no longer fails the threads' creation).
std::atomic<int> g_resolutions_allowed{0};
bool ResolveOnlyAtFirst(const std::string& host, uint32_t* address) {
  if (g_resolutions_allowed.fetch_sub(1) <= 0) return false;
  return SystemResolve(host, address);
}

TEST_F(DownloaderTest, ThreadsConnectWhereTheQueryResolved) {
  uint16_t closed_port = 0;
  {
    CSocket s(SockOpenTcp());
    ASSERT_TRUE(SockBind(s.Get(), LoopbackAddress(), 0));
    closed_port = SockLocalPort(s.Get());
  }
  ResolverTestHooks hooks;
  hooks.systemResolve = &ResolveOnlyAtFirst;
  hooks.fallbackResolver = "127.0.0.1";  // nothing answers there either
  hooks.dnsPort = closed_port;
  hooks.dnsWaitMilliseconds = 200;
  g_resolutions_allowed = 1;
  SetResolverTestHooks(hooks);
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_EQ(Count("HEAD", "/cdn/"), 1);
  EXPECT_EQ(Count("GET", "/cdn/"), 2);
  EXPECT_LE(g_resolutions_allowed.load(), 0) << "the query did not resolve the host";
}

TEST_F(DownloaderTest, QueryThreadThatCannotBeMadeIsAStartFailure) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  CPelmarBasedThread::RefuseCreationsForTesting(1);
  EXPECT_FALSE(d->Start());
  // Never "running" after that: the progress page would wait for ever.
  for (int i = 0; i < 5; ++i) {
    EXPECT_NE(d->Poll(), IDownloader::kRunning);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(Count("HEAD", "/cdn/"), 0);
  // A later start, with threads to be had again, downloads as usual.
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kDone);
}

TEST_F(DownloaderTest, GetUrlNamesWhatIsDownloaded) {
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, md5_, "1.0.0.1",
                             IPackageRecord::kReady, Release());
  DownloaderPtr d(CreateDownloader(Services(&record)));
  // Before any query: the built-in URL of the configured CDN.
  EXPECT_EQ(std::string(d->GetUrl()), BuiltinDownloadUrl());
  ASSERT_TRUE(d->Start());
  // While the query runs the answer is one of the two, never a torn list.
  const std::string during = d->GetUrl();
  EXPECT_TRUE(during == backend_->Url("/cdn/install.exe") || during == BuiltinDownloadUrl());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(std::string(d->GetUrl()), backend_->Url("/cdn/install.exe"));
}

}  // namespace
}  // namespace pelmar
