// The digests the controller verifies and records are taken as the bytes
// are written, in file order, with the second range caught up once the
// first is complete. Checked against md5sum, an implementation that is not
// ours, on the file that ends up on disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "base/text_convert.h"
#include "download/download_test_support.h"
#include "download/download_thread.h"
#include "download/downloader.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;

// md5sum's digest of a file, or empty.
std::string Md5sumOf(const std::wstring& path) {
  const std::string command = "md5sum '" + Utf8FromWide(path) + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  char line[128] = {};
  const bool read = std::fgets(line, sizeof line, pipe) != nullptr;
  pclose(pipe);
  return read ? std::string(line).substr(0, 32) : std::string();
}

// Bytes that differ at every position within a range, so a byte digested
// twice, skipped or out of order changes the digest.
std::string PackageOfSize(int64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  uint32_t x = 0x9E3779B9u;
  for (char& c : bytes) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

struct DigestCase {
  const char* why;
  int64_t size;
  std::string faults;  // backend fault rules for the download
};

class DownloaderDigestTest : public BackendTest,
                             public ::testing::WithParamInterface<DigestCase> {};

constexpr int64_t kBlock = CDownloadThread::kBufferBytes;

const DigestCase kCases[] = {
    {"one byte: a single range, digested as it arrives", 1, ""},
    {"two bytes: one byte per range", 2, ""},
    {"each range one block less one byte", 2 * kBlock - 2, ""},
    {"each range exactly one block", 2 * kBlock, ""},
    {"each range one block and one byte", 2 * kBlock + 2, ""},
    {"the benchmark's package", 48560128, ""},
    {"a range dropped mid-way and resumed", 3 * kBlock + 12345,
     R"([{"path": "/cdn/", "method": "GET", "action": "drop", "after_bytes": 100000, "times": 1}])"},
    {"one range held back a second: the other is complete first", 3 * kBlock + 12345,
     R"([{"path": "/cdn/", "method": "GET", "action": "stall", "seconds": 1, "after_bytes": 1000, "times": 1}])"},
    {"a shifted range answer once", 3 * kBlock + 12345,
     R"([{"path": "/cdn/", "method": "GET", "action": "wrong_range", "times": 1}])"},
};

TEST_P(DownloaderDigestTest, RecordedDigestIsMd5sumsOfTheFileOnDisk) {
  const DigestCase& c = GetParam();
  SCOPED_TRACE(c.why);
  const std::string package = PackageOfSize(c.size);
  ASSERT_TRUE(backend_->WritePackage("sized.exe", package));
  if (!c.faults.empty()) ASSERT_TRUE(backend_->SetFaults(c.faults));
  const std::wstring data_dir = dir_.Wide() + testing::TempDir::kSeparator;
  InstallerSettings settings(data_dir + L"config.ini");
  // No package digest: the controller records the MD5 it computed itself,
  // and the signed statement's SHA-256 and size must match the bytes too.
  CFixedPackageRecord record({backend_->Url("/cdn/sized.exe")}, "", "1.0.0.1",
                             IPackageRecord::kReady, Release("sized.exe"));
  DownloaderServices services = ServicesFor(&record, data_dir, &settings);
  services.timings.betweenAttemptsMs = 20;
  IDownloader* d = CreateDownloader(services);
  ASSERT_NE(d, nullptr);
  struct Destroy {
    IDownloader* d;
    ~Destroy() { d->Destroy(); }
  } destroy{d};
  ASSERT_TRUE(d->Start());
  int32_t state = d->Poll();
  for (int i = 0; i < 2400 && state == IDownloader::kRunning; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    state = d->Poll();
  }
  ASSERT_EQ(state, IDownloader::kDone) << ::testing::PrintToString(ErrorStatuses());
  const std::wstring path = d->GetFilePath();
  const std::string reference = Md5sumOf(path);
  ASSERT_EQ(reference.size(), 32u) << "md5sum did not run";
  EXPECT_EQ(Utf8FromWide(settings.Md5()), reference);
  EXPECT_EQ(settings.Path(), path);
  // And the bytes are the package's: the reference is not of some other file.
  std::ifstream in(Utf8FromWide(path), std::ios::binary);
  const std::string on_disk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(on_disk == package) << "the stored file differs from the served package";
}

INSTANTIATE_TEST_SUITE_P(Sizes, DownloaderDigestTest, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace pelmar
