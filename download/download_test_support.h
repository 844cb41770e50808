#pragma once

// Shared by the URL query and controller suites: one maker backend for the
// whole test program, a recorder for the events, a fresh folder per test.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/testing/release_signing.h"
#include "download/download_events.h"
#include "download/downloader.h"
#include "download/maker_backend_process.h"
#include "net/net_test_support.h"
#include "temp_dir.h"

namespace pelmar::testing {

// The package every suite downloads: odd, so the two ranges differ in length,
// and over 1 MiB, so each range is written in more than one block.
inline constexpr int64_t kPackageBytes = 3 * 1024 * 1024 + 12345;
inline constexpr const char* kBuiltinPath =
    "/application/soft_package/pc/10001061/software/install.exe";

class BackendTest : public NetTest {
 protected:
  static void SetUpTestSuite() { backend_ = &SharedBackend(); }
  // One server until the program ends: starting Python per suite would cost
  // more than the tests themselves.
  static MakerBackendProcess& SharedBackend();

  void SetUp() override {
    NetTest::SetUp();
    ASSERT_TRUE(backend_->ClearFaults());
    ASSERT_TRUE(backend_->Reset());
  }

  // The "error_status" of every download error, in order; each must carry
  // the "error_type" of the part that reports it.
  std::vector<std::string> ErrorStatuses() {
    static const std::set<std::string> kQueryStatuses = {"获取头信息失败", "获取包信息失败",
                                                         "重试次数过多", "网络失败", "初始化失败"};
    std::vector<std::string> out;
    for (const auto& e : logger_.EventsNamed("vSoftDownloadError")) {
      const std::string status = e.strings.at("error_status");
      EXPECT_EQ(e.strings.at("error_type"),
                kQueryStatuses.count(status) != 0 ? kQueryErrorType : std::string(kThreadErrorType))
          << status;
      out.push_back(status);
    }
    return out;
  }
  std::vector<std::string> EventNames() {
    std::vector<std::string> out;
    for (const auto& e : logger_.Events()) out.push_back(e.name);
    return out;
  }
  // The maker's signed release of a served package, as the package record
  // carries it: signed with the development key the build pins, for the
  // bytes the backend serves under `name`.
  SignedReleaseText Release(const std::string& name = "install.exe",
                            const std::string& version = "1.0.0.1") {
    return SignedReleaseFor(TestMaker::Development(), backend_->ReadPackage(name), version);
  }
  static bool IsDetachedRelease(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".sig") == 0;
  }
  // The Range lines of the GET requests on `path`, in arrival order (the
  // package's own, not its ".sig").
  std::vector<std::string> RangeLines(const std::string& path = "/cdn/install.exe") {
    std::vector<std::string> out;
    for (const BackendRequest& r : backend_->Requests(path)) {
      if (r.method != "GET" || IsDetachedRelease(r.path)) continue;
      const size_t at = r.head.find("Range:");
      out.push_back(at == std::string::npos ? "" : r.head.substr(at, r.head.find("\r\n", at) - at));
    }
    return out;
  }
  // Requests of the package files under `path` (their ".sig" not counted).
  int Count(const std::string& method, const std::string& path) {
    int n = 0;
    for (const BackendRequest& r : backend_->Requests(path)) {
      n += r.method == method && !IsDetachedRelease(r.path);
    }
    return n;
  }
  int DetachedReleaseGets(const std::string& path = "/") {
    int n = 0;
    for (const BackendRequest& r : backend_->Requests(path)) {
      n += r.method == "GET" && IsDetachedRelease(r.path);
    }
    return n;
  }

  // A controller's services against the backend: `record` for the package,
  // the folder and settings file given, the product's names and timings.
  DownloaderServices ServicesFor(IPackageRecord* record, const std::wstring& data_dir,
                                 InstallerSettings* settings) {
    DownloaderServices s;
    s.query.package = record;
    s.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
    s.query.builtinUrl = backend_->Url(kBuiltinPath);
    s.query.probeHosts = {"127.0.0.1"};
    s.query.probePort = backend_->Port();
    s.settings = settings;
    s.productDataDirectory = data_dir;
    return s;
  }

  static inline MakerBackendProcess* backend_ = nullptr;
  TempDir dir_;
};

}  // namespace pelmar::testing
