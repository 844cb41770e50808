// Reuse of a recorded download decided by the real version resource of the
// stored file, as the installer does it on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/app_info.h"
#include "app/downloader_services.h"
#include "app/version_stamp.h"
#include "base/file_system.h"
#include "base/md5.h"
#include "base/text_convert.h"
#include "base/testing/wait_until.h"
#include "download/download_test_support.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;

class StoredVersionTest : public BackendTest {};

TEST_F(StoredVersionTest, VersionResourceDecidesTheReuse) {
  const std::wstring data_dir = dir_.Wide() + L"\\";
  const std::wstring stored = data_dir + L"stored_setup.exe";
  // A real program carrying product version 1.0.0.2.
  ASSERT_TRUE(CopyFileW(ModulePath().c_str(), stored.c_str(), FALSE));
  ASSERT_TRUE(StampProductVersion(stored, L"1.0.0.2"));
  ASSERT_EQ(CAppInfo::Instance()->ProductVersionOfFile(stored), L"1.0.0.2");
  const std::string digest = Md5OfFile(stored);
  // Reuse needs the package digest, so the package is that very program.
  std::string bytes;
  {
    std::ifstream in(std::filesystem::u8path(Utf8FromWide(stored)), std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_TRUE(backend_->WritePackage("stamped.exe", bytes));

  struct Case {
    const char* package_version;
    bool reused;
  } cases[] = {{"1.0.0.1", true}, {"1.0.0.2", true}, {"1.0.0.3", false}, {"1.0.1", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.package_version);
    ASSERT_TRUE(backend_->Reset());
    InstallerSettings settings(data_dir + L"config.ini");
    ASSERT_TRUE(settings.ValidateAndRecord(WideFromUtf8(digest), stored, false));
    CFixedPackageRecord record({backend_->Url("/cdn/stamped.exe")}, digest, c.package_version);
    IDownloader* d = CreateDownloader(
        testing::OnBackend(DefaultDownloaderServices(&record), *backend_, data_dir, &settings));
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(d->Start());
    EXPECT_EQ(testing::PollToEnd(*d, std::chrono::minutes(2)), IDownloader::kDone);
    EXPECT_EQ(std::wstring(d->GetFilePath()) == stored, c.reused);
    d->Destroy();
    EXPECT_EQ(Count("GET", "/cdn/"), c.reused ? 0 : 2);
  }
}

}  // namespace
}  // namespace pelmar
