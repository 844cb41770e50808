#include "download/server_package_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "base/text_convert.h"
#include "download/download_test_support.h"
#include "download/downloader.h"
#include "sdk/envelope.h"
#include "sdk/http_text.h"
#include "services/installer_settings.h"
#include "services/pkg_info.h"

namespace pelmar {
namespace {

using testing::BackendTest;

// The backend's default application key, which it signs and seals with.
constexpr const char* kKey = "7d2e94b1c0a85f63e19b4d07a2c6f358";

class ServerPackageRecordTest : public BackendTest {
 protected:
  // The real package reader against the backend's index, with the SDK's
  // envelope computed by its portable core.
  PkgInfoSettings ReaderSettings() {
    const uint16_t port = backend_->Port();
    PkgInfoSettings s;
    s.supportHost = {"127.0.0.1", port};
    s.supportIp = {"127.0.0.1", port};
    s.retryPauseMs = 5;
    s.buildRequest = [port](const std::string& path, const std::string& body) {
      return vek::BuildSignedRequest("127.0.0.1", port, "10001061", kKey, "/v1.1", path, body);
    };
    s.openPayload = [](const std::string& data) {
      std::string payload;
      return vek::Open(kKey, data, &payload) ? payload : std::string();
    };
    s.version = [] { return std::string("0.9.0.1"); };
    return s;
  }

  // Runs the real reader and controller against the backend to the end.
  int32_t DownloadFromTheServer(std::wstring* path = nullptr) {
    CPkgInfo info(ReaderSettings());
    CServerPackageRecord record(&info);
    const std::wstring data_dir = dir_.Wide() + testing::TempDir::kSeparator;
    InstallerSettings settings(data_dir + L"config.ini");
    DownloaderServices services = ServicesFor(&record, data_dir, &settings);
    services.installedProductPath = [] { return std::wstring(L"C:\\Morvantile\\Morvantile.exe"); };
    services.installedProductVersion = [] { return std::wstring(L"1.0.0.1"); };
    IDownloader* d = CreateDownloader(services);
    if (d == nullptr) return -1;
    const int32_t state = d->Start() ? testing::PollToEnd(*d) : IDownloader::kFailed;
    if (path != nullptr) *path = d->GetFilePath();
    d->Destroy();
    return state;
  }
};

// The backend's release faults, each through the real record reader (the
// statement in the sealed payload) and the ".sig" beside the file.
struct ServedRelease {
  const char* name;
  const char* rules;
  const char* refusal;  // null: the download is done
};

class ServedReleaseTest : public ServerPackageRecordTest,
                          public ::testing::WithParamInterface<ServedRelease> {};

TEST_P(ServedReleaseTest, OnlyTheMakersCurrentReleaseIsDone) {
  const ServedRelease& c = GetParam();
  ASSERT_TRUE(backend_->SetFaults(c.rules));
  std::wstring path;
  const int32_t state = DownloadFromTheServer(&path);
  const std::vector<std::string> statuses = ErrorStatuses();
  if (c.refusal == nullptr) {
    EXPECT_EQ(state, IDownloader::kDone);
    EXPECT_TRUE(statuses.empty());
  } else {
    EXPECT_EQ(state, IDownloader::kFailed);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), c.refusal);
    // Refused before a byte of the package was asked for.
    EXPECT_EQ(Count("GET", "/cdn/install.exe"), 0);
  }
  // Nothing but the settings file stays in the folder.
  std::set<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
    files.insert(e.path().filename().u8string());
  }
  if (state != IDownloader::kDone) EXPECT_EQ(files, std::set<std::string>{"config.ini"});
}

const ServedRelease kServedReleases[] = {
    {"genuine", "[]", nullptr},
    {"record without a statement, the .sig beside the file",
     R"([{"path": "/installer/package/index", "action": "release", "mode": "missing"}])", nullptr},
    {"missing everywhere", R"([{"action": "release", "mode": "missing"}])", "缺少发布声明"},
    {"forged", R"([{"action": "release", "mode": "forged"}])", "发布声明签名无效"},
    {"expired", R"([{"action": "release", "mode": "expired"}])", "发布声明已过期"},
    {"older than installed", R"([{"action": "release", "mode": "older", "version": "1.0.0.0"}])",
     "发布版本低于已安装版本"},
    {"another product", R"([{"action": "release", "mode": "other_product"}])", "发布声明产品不符"},
    {"malformed", R"([{"action": "release", "mode": "malformed"}])", "发布声明格式错误"},
    {"naming another length", R"([{"action": "release", "mode": "wrong_size"}])",
     "文件大小与发布声明不符"},
};
INSTANTIATE_TEST_SUITE_P(Backend, ServedReleaseTest, ::testing::ValuesIn(kServedReleases),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST_F(ServerPackageRecordTest, StatementForOtherBytesFailsAfterTheDownload) {
  ASSERT_TRUE(backend_->SetFaults(R"([{"action": "release", "mode": "other_bytes"}])"));
  EXPECT_EQ(DownloadFromTheServer(), IDownloader::kFailed);
  ASSERT_FALSE(ErrorStatuses().empty());
  EXPECT_EQ(ErrorStatuses().back(), "文件SHA256与发布声明不符");
  EXPECT_EQ(Count("GET", "/cdn/install.exe"), 2);  // fetched, checked, removed
  std::set<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
    files.insert(e.path().filename().u8string());
  }
  EXPECT_EQ(files, std::set<std::string>{"config.ini"});
}

TEST_F(ServerPackageRecordTest, ReadsTheServersRecordInRankOrder) {
  CPkgInfo info(ReaderSettings());
  CServerPackageRecord record(&info);
  (void)testing::WaitUntil([&] { return record.GetStatus() != IPackageRecord::kReading; });
  ASSERT_EQ(record.GetStatus(), IPackageRecord::kReady);
  EXPECT_EQ(record.GetVersion(), "1.0.0.1");
  EXPECT_EQ(record.GetMd5(), backend_->PackageMd5());
  // Rank 10 before rank 5.
  EXPECT_EQ(record.GetUrls(), (std::vector<std::string>{backend_->Url("/cdn/install.exe"),
                                                        backend_->Url("/mirror/install.exe")}));
}

TEST_F(ServerPackageRecordTest, ControllerDownloadsWhatTheServerAnnounces) {
  CPkgInfo info(ReaderSettings());
  CServerPackageRecord record(&info);
  const std::wstring data_dir = dir_.Wide() + testing::TempDir::kSeparator;
  InstallerSettings settings(data_dir + L"config.ini");
  IDownloader* d = CreateDownloader(ServicesFor(&record, data_dir, &settings));
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->Start());
  EXPECT_EQ(testing::PollToEnd(*d), IDownloader::kDone);
  const std::wstring path = d->GetFilePath();
  d->Destroy();
  EXPECT_EQ(path, data_dir + L"Morvantile_setup_install_v1.0.0.1.exe");
  std::ifstream in(std::filesystem::u8path(Utf8FromWide(path)), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), backend_->ReadPackage());
  // Both URLs were asked; the download came from the first.
  EXPECT_EQ(Count("HEAD", "/cdn/install.exe"), 1);
  EXPECT_EQ(Count("HEAD", "/mirror/install.exe"), 1);
  EXPECT_EQ(Count("GET", "/cdn/install.exe"), 2);
}

}  // namespace
}  // namespace pelmar
