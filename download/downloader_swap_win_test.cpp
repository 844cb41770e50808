// The checked bytes are the started bytes (under Wine): from the digest of
// the downloaded setup program until its process has been created, the
// controller holds the file so that a second process of the same user
// cannot write, rename, replace or delete it; the program started is the
// one checked. The second process is release_probe.exe, built beside this
// test; the downloaded program is release_probe.exe too, which reports the
// digest of its own image when started.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "base/md5.h"
#include "base/text_convert.h"
#include "download/download_test_support.h"
#include "download/downloader.h"
#include "services/installer_settings.h"

namespace pelmar {
namespace {

using testing::BackendTest;

std::wstring BinFolder() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  return path.substr(0, path.find_last_of(L'\\'));
}

std::string ReadAll(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char piece[65536];
  DWORD got = 0;
  while (ReadFile(h, piece, sizeof piece, &got, nullptr) && got > 0) bytes.append(piece, got);
  CloseHandle(h);
  return bytes;
}

// Runs a command line to its end; its exit code, or -1.
long RunToEnd(const std::wstring& command_line) {
  std::wstring command = command_line;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    return -1;
  }
  CloseHandle(pi.hThread);
  long code = -1;
  if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) {
    DWORD exit = 0;
    if (GetExitCodeProcess(pi.hProcess, &exit)) code = static_cast<long>(exit);
  }
  CloseHandle(pi.hProcess);
  return code;
}

class CheckedFileSwapTest : public BackendTest {};

TEST_F(CheckedFileSwapTest, ASecondProcessCannotReplaceTheCheckedFileBeforeItIsStarted) {
  const std::wstring probe = BinFolder() + L"\\release_probe.exe";
  const std::string program = ReadAll(probe);
  ASSERT_FALSE(program.empty()) << "no release_probe.exe beside the test";
  ASSERT_TRUE(backend_->WritePackage("probe.exe", program));
  const std::wstring data_dir = dir_.Wide() + L"\\";
  const std::wstring evil = data_dir + L"evil.exe";
  {
    std::string other = program;
    other[other.size() / 2] ^= 0x5A;
    HANDLE h = CreateFileW(evil.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, other.data(), static_cast<DWORD>(other.size()), &put, nullptr);
    CloseHandle(h);
  }
  InstallerSettings settings(data_dir + L"config.ini");
  CFixedPackageRecord record({backend_->Url("/cdn/probe.exe")}, Md5Text(program), "1.0.0.1",
                             IPackageRecord::kReady, Release("probe.exe"));
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
  struct Destroy {
    IDownloader* d;
    ~Destroy() { d->Destroy(); }
  } destroy{d};
  ASSERT_TRUE(d->Start());
  int32_t state = d->Poll();
  for (int i = 0; i < 2400 && state == IDownloader::kRunning; ++i) {
    Sleep(50);
    state = d->Poll();
  }
  ASSERT_EQ(state, IDownloader::kDone);

  const std::wstring report = data_dir + L"started.txt";
  long swapped_while_held = -2;
  std::wstring started_path;
  ASSERT_TRUE(d->StartCheckedFile([&](const std::wstring& path) {
    started_path = path;
    // The window between the check and the start: another process tries.
    swapped_while_held = RunToEnd(L"\"" + probe + L"\" swap \"" + path + L"\" \"" + evil + L"\"");
    // Then the setup process is created from the held file.
    EXPECT_EQ(RunToEnd(L"\"" + path + L"\" report \"" + report + L"\""), 0);
  }));
  EXPECT_EQ(swapped_while_held, 0) << "a second process changed the checked file";
  std::istringstream lines(ReadAll(report));
  std::string image, digest;
  std::getline(lines, image);
  std::getline(lines, digest);
  EXPECT_EQ(WideFromUtf8(image), started_path);
  EXPECT_EQ(digest, Md5Text(program)) << "the started program is not the checked one";
  EXPECT_EQ(ReadAll(started_path), program);

  // Once let go the file is an ordinary file again: the same attempts work,
  // so the refusals above were the hold's.
  EXPECT_GT(RunToEnd(L"\"" + probe + L"\" swap \"" + started_path + L"\" \"" + evil + L"\""), 0);
  // And the controller, asked to start again, finds the file changed.
  ASSERT_TRUE(d->Start());
  state = d->Poll();
  for (int i = 0; i < 2400 && state == IDownloader::kRunning; ++i) {
    Sleep(50);
    state = d->Poll();
  }
  EXPECT_EQ(state, IDownloader::kFailed);
  EXPECT_FALSE(d->StartCheckedFile([](const std::wstring&) { FAIL() << "changed file started"; }));
}

// The bytes are digested as they are written, so the hold begins with the
// partial file: while it is written nobody else may write, rename or delete
// it, and the held file at the end is the one written.
TEST_F(CheckedFileSwapTest, NobodyElseWritesThePartialFileWhileItIsWritten) {
  // Paced so the download is still running when the file is tried.
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "method": "GET", "action": "pace", "bytes_per_second": 1000000}])"));
  const std::wstring data_dir = dir_.Wide() + L"\\";
  InstallerSettings settings(data_dir + L"config.ini");
  CFixedPackageRecord record({backend_->Url("/cdn/install.exe")}, backend_->PackageMd5(), "1.0.0.1",
                             IPackageRecord::kReady, Release());
  IDownloader* d = CreateDownloader(ServicesFor(&record, data_dir, &settings));
  ASSERT_NE(d, nullptr);
  struct Destroy {
    IDownloader* d;
    ~Destroy() { d->Destroy(); }
  } destroy{d};
  ASSERT_TRUE(d->Start());
  int32_t state = d->Poll();
  for (int i = 0; i < 400 && state == IDownloader::kRunning && d->GetProgress() == 0; ++i) {
    Sleep(10);
    state = d->Poll();
  }
  ASSERT_EQ(state, IDownloader::kRunning);
  const std::wstring partial = std::wstring(d->GetFilePath()) + L".part";
  HANDLE writer = CreateFileW(partial.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  const DWORD open_error = GetLastError();
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "another writer opened the partial file";
  EXPECT_EQ(open_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileExW(partial.c_str(), (data_dir + L"moved.part").c_str(), 0))
      << "the partial file was renamed while written";
  // Reading stays allowed.
  HANDLE reader = CreateFileW(partial.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
  for (int i = 0; i < 2400 && state == IDownloader::kRunning; ++i) {
    Sleep(50);
    state = d->Poll();
  }
  EXPECT_EQ(state, IDownloader::kDone);
}

}  // namespace
}  // namespace pelmar
