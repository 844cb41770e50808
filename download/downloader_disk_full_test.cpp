// A full disk in the middle of a download, natively: the data folder is a
// small tmpfs, so the file can be created at full size (sparse) but the
// writes run out of room.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "base/text_convert.h"
#include "download/download_test_support.h"
#include "download/downloader.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;

class DiskFullTest : public BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    mount_ = dir_.path() / "small";
    std::filesystem::create_directories(mount_);
    const std::string command =
        "mount -t tmpfs -o size=1m tmpfs '" + mount_.string() + "' 2>/dev/null";
    mounted_ = std::system(command.c_str()) == 0;
  }
  void TearDown() override {
    if (mounted_) (void)std::system(("umount '" + mount_.string() + "'").c_str());
    BackendTest::TearDown();
  }

  std::filesystem::path mount_;
  bool mounted_ = false;
};

TEST_F(DiskFullTest, FullDiskFailsWithWriteErrorNeverDone) {
  if (!mounted_) GTEST_SKIP() << "mounting a tmpfs needs privileges this run does not have";
  const std::wstring data_dir = WideFromUtf8(mount_.u8string()) + L"/";
  InstallerSettings settings(WideFromUtf8(dir_.path().u8string()) + L"/config.ini");
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, backend_->PackageMd5(),
                             "1.0.0.1");
  DownloaderServices services;
  services.query.package = &record;
  services.query.programPath = L"/x/Morvantile_setup";
  services.query.builtinUrl = backend_->Url(testing::kBuiltinPath);
  services.settings = &settings;
  services.productDataDirectory = data_dir;
  IDownloader* d = CreateDownloader(services);
  ASSERT_NE(d, nullptr);
  ASSERT_TRUE(d->Start());
  const int32_t state = testing::PollToEnd(*d);
  d->Destroy();
  EXPECT_EQ(state, IDownloader::kFailed);
  const std::vector<std::string> events = ErrorStatuses();
  ASSERT_FALSE(events.empty());
  for (const std::string& e : events) EXPECT_EQ(e, "写文件出错");
  EXPECT_TRUE(settings.Path().empty());
  EXPECT_TRUE(logger_.EventsNamed("pSoftDownloadResult").empty());
}

}  // namespace
}  // namespace pelmar
