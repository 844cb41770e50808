// The digests the controller verifies and records, checked against md5sum,
// an implementation that is not ours, on the file that ends up on disk; and
// which way they are taken: as the bytes are written, in file order with the
// second range caught up once the first is complete, only where the partial
// file was made under a list that keeps the user's other processes from
// writing it; else from the held file, read once after the hold, which
// catches bytes rewritten after the writer let go of them.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "base/admin_only_file.h"
#include "base/testing/wait_until.h"
#include "base/text_convert.h"
#include "download/download_file_name.h"
#include "download/download_test_support.h"
#include "download/download_thread.h"
#include "download/downloader.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;
using Source = CDownloader::DigestSource;

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

std::string ReadAll(const std::wstring& path) {
  std::ifstream in(Utf8FromWide(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// How the partial file is made. Natively no list keeps the user's processes
// out, so "as an elevated installer" is the maker's claim: it shows which
// way the controller takes its digests, not the protection itself (the
// Windows suite reads the list back).
enum class Maker { kClaimsAdminOnly, kListNotSet, kSystemDefault };

CreatedFile MakePartial(Maker maker, const std::wstring& path) {
  CreatedFile created = CreateFileKeptFromWriters(path, maker == Maker::kClaimsAdminOnly);
  created.adminOnly = maker == Maker::kClaimsAdminOnly;
  return created;
}

class DigestFixture : public BackendTest {
 protected:
  // A controller for the package `name` (no package digest, so the MD5
  // recorded is the one the controller computed) with its partial file made
  // by `maker`.
  std::unique_ptr<CDownloader> Controller(const std::string& name, Maker maker) {
    data_dir_ = dir_.Wide() + testing::TempDir::kSeparator;
    settings_ = std::make_unique<InstallerSettings>(data_dir_ + L"config.ini");
    record_ = std::make_unique<CFixedPackageRecord>(
        std::vector<std::string>{backend_->Url("/cdn/" + name)}, "", "1.0.0.1",
        IPackageRecord::kReady, Release(name));
    DownloaderServices services = ServicesFor(record_.get(), data_dir_, settings_.get());
    services.timings.betweenAttemptsMs = 20;
    if (maker != Maker::kSystemDefault) {
      services.createPartialFile = [maker](const std::wstring& path) {
        return MakePartial(maker, path);
      };
    }
    return std::make_unique<CDownloader>(std::move(services));
  }
  // The finished file holds `package` and its recorded MD5 is md5sum's.
  void ExpectRecordedDigestIsMd5sums(CDownloader& d, const std::string& package) {
    const std::wstring path = d.GetFilePath();
    const std::string reference = Md5sumOf(path);
    ASSERT_EQ(reference.size(), 32u) << "md5sum did not run";
    EXPECT_EQ(Utf8FromWide(settings_->Md5()), reference);
    EXPECT_EQ(settings_->Path(), path);
    // And the bytes are the package's: the reference is not of some other file.
    EXPECT_TRUE(ReadAll(path) == package) << "the stored file differs from the served package";
  }

  std::wstring data_dir_;
  std::unique_ptr<InstallerSettings> settings_;
  std::unique_ptr<CFixedPackageRecord> record_;
};

struct DigestCase {
  const char* why;
  int64_t size;
  std::string faults;  // backend fault rules for the download
};

class DownloaderDigestTest : public DigestFixture,
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

// Every size and fault on the path that digests as it writes (the one the
// elevated installer takes); the held-file path reads the finished file,
// which the table below covers.
TEST_P(DownloaderDigestTest, RecordedDigestIsMd5sumsOfTheFileOnDisk) {
  const DigestCase& c = GetParam();
  SCOPED_TRACE(c.why);
  const std::string package = PackageOfSize(c.size);
  ASSERT_TRUE(backend_->WritePackage("sized.exe", package));
  if (!c.faults.empty()) ASSERT_TRUE(backend_->SetFaults(c.faults));
  std::unique_ptr<CDownloader> d = Controller("sized.exe", Maker::kClaimsAdminOnly);
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(testing::PollToEnd(*d), IDownloader::kDone)
      << ::testing::PrintToString(ErrorStatuses());
  EXPECT_EQ(d->LastDigestSource(), Source::kAsWritten);
  ExpectRecordedDigestIsMd5sums(*d, package);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DownloaderDigestTest, ::testing::ValuesIn(kCases));

struct SourceCase {
  const char* why;
  Maker maker;
  bool resumed;  // the first run fails part-way and Start goes on over its bytes
  bool forged;   // a byte of the partial file is changed after it was written
  Source expected;
};

class DigestSourceTest : public DigestFixture, public ::testing::WithParamInterface<SourceCase> {};

const SourceCase kSourceCases[] = {
    {"fresh file under the administrators-only list: digested as written", Maker::kClaimsAdminOnly,
     false, false, Source::kAsWritten},
    {"the list could not be set: the held file is read", Maker::kListNotSet, false, false,
     Source::kHeldFileRead},
    {"this system gives no such list (not elevated): the held file is read", Maker::kSystemDefault,
     false, false, Source::kHeldFileRead},
    {"resumed over an earlier run's bytes, even under the list: the held file is read",
     Maker::kClaimsAdminOnly, true, false, Source::kHeldFileRead},
    {"rewritten after the write, no list: caught by reading the held file", Maker::kListNotSet,
     false, true, Source::kHeldFileRead},
    {"rewritten after the write of a resumed download: caught by reading the held file",
     Maker::kClaimsAdminOnly, true, true, Source::kHeldFileRead},
};

// Every drop leaves a thousand bytes written; twenty drops in a row use up a
// range's attempts, so the first run fails part-way and a second Start
// resumes both ranges.
constexpr const char* kFailFirstRun =
    R"([{"path": "/cdn/", "method": "GET", "action": "drop", "after_bytes": 1000, "times": 40}])";

TEST_P(DigestSourceTest, DigestsComeFromTheWritesOnlyWhereNobodyElseCouldWrite) {
  const SourceCase& c = GetParam();
  SCOPED_TRACE(c.why);
  const std::string package = PackageOfSize(3 * kBlock + 12345);
  ASSERT_TRUE(backend_->WritePackage("sized.exe", package));
  if (c.resumed) ASSERT_TRUE(backend_->SetFaults(kFailFirstRun));
  std::unique_ptr<CDownloader> d = Controller("sized.exe", c.maker);
  ASSERT_TRUE(d->Start());
  if (c.resumed) {
    ASSERT_EQ(testing::PollToEnd(*d), IDownloader::kFailed);
    ASSERT_GT(d->GetProgress(), 0) << "the first run wrote nothing to resume over";
    ASSERT_TRUE(d->Start());
  }
  if (c.forged) {
    // Every byte written and every thread ended, the check not yet made:
    // the moment between the writer's close and the hold.
    ASSERT_TRUE(testing::WaitUntil([&] { return d->GetProgress() == 100 && d->ThreadsEnded(); }));
    const std::wstring partial = std::wstring(d->GetFilePath()) + kPartialFileSuffix;
    {
      std::fstream file(Utf8FromWide(partial), std::ios::in | std::ios::out | std::ios::binary);
      ASSERT_TRUE(file.is_open());
      file.seekp(kBlock + 7);
      file.put(static_cast<char>(package[kBlock + 7] ^ 0x5A));
    }
    EXPECT_EQ(d->Poll(), IDownloader::kFailed) << "rewritten bytes were taken";
    EXPECT_EQ(d->LastDigestSource(), c.expected);
    EXPECT_TRUE(settings_->Path().empty()) << "a rewritten file was recorded";
    // Downloaded again into a fresh file, which regains the maker's answer.
    ASSERT_TRUE(d->Start());
    ASSERT_EQ(testing::PollToEnd(*d), IDownloader::kDone)
        << ::testing::PrintToString(ErrorStatuses());
    EXPECT_EQ(d->LastDigestSource(),
              c.maker == Maker::kClaimsAdminOnly ? Source::kAsWritten : Source::kHeldFileRead);
  } else {
    ASSERT_EQ(testing::PollToEnd(*d), IDownloader::kDone)
        << ::testing::PrintToString(ErrorStatuses());
    EXPECT_EQ(d->LastDigestSource(), c.expected);
  }
  ExpectRecordedDigestIsMd5sums(*d, package);
}

INSTANTIATE_TEST_SUITE_P(Paths, DigestSourceTest, ::testing::ValuesIn(kSourceCases));

}  // namespace
}  // namespace pelmar
