#include "download/server_package_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

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
};

TEST_F(ServerPackageRecordTest, ReadsTheServersRecordInRankOrder) {
  CPkgInfo info(ReaderSettings());
  CServerPackageRecord record(&info);
  for (int i = 0; i < 2000 && record.GetStatus() == IPackageRecord::kReading; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
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
  DownloaderServices services;
  services.query.package = &record;
  services.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
  services.query.builtinUrl = backend_->Url(testing::kBuiltinPath);
  services.query.probeHosts = {"127.0.0.1"};
  services.query.probePort = backend_->Port();
  services.settings = &settings;
  services.productDataDirectory = data_dir;
  IDownloader* d = CreateDownloader(services);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->Start());
  int32_t state = d->Poll();
  for (int i = 0; i < 2400 && state == IDownloader::kRunning; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state = d->Poll();
  }
  EXPECT_EQ(state, IDownloader::kDone);
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
