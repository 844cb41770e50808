// The real SDK under Wine: Vek.dll unpacked from this program's own
// "BinarySystem"/105 resource (the same archive install.exe carries), its
// spool, Vek.exe delivering to a collector on loopback, and crash capture.
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text_convert.h"
#include "sdk/envelope.h"
#include "sdk/http_text.h"
#include "sdk/spool_file.h"
#include "sdk/vek_api.h"
#include "services/logger_server.h"
#include "services/sdk_binding.h"

namespace pelmar {
namespace {

const char kAppKey[] = "7d2e94b1c0a85f63e19b4d07a2c6f358";
// "安装器", "软件退出", "软件崩溃"
const char kInstaller[] = "\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8";
const char kQuitText[] = "\xe8\xbd\xaf\xe4\xbb\xb6\xe9\x80\x80\xe5\x87\xba";
const char kCrashText[] = "\xe8\xbd\xaf\xe4\xbb\xb6\xe5\xb4\xa9\xe6\xba\x83";

std::wstring g_root, g_maker, g_cache, g_sdk;

std::wstring TempRoot() {
  wchar_t path[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, path);
  return std::wstring(path) + L"vek_runtime_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) out.append(buffer, n);
  CloseHandle(f);
  return out;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  CloseHandle(f);
}

// True while any Vek.exe of the test's SDK folder is alive (started, maybe
// not yet holding its mutex) or the uploader mutex exists.
bool UploaderRunning() {
  HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, vek::UploaderMutexName(g_sdk).c_str());
  if (h) {
    CloseHandle(h);
    return true;
  }
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"Vek.exe") != 0) continue;
    // A process still starting has no module list yet: count it as ours.
    found = true;
    HANDLE process =
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH * 2] = {};
    const DWORD size = GetModuleFileNameExW(process, nullptr, path, MAX_PATH * 2);
    if (size > 0) {
      std::wstring image(path, size);
      std::wstring folder = g_sdk;
      CharLowerBuffW(&image[0], static_cast<DWORD>(image.size()));
      CharLowerBuffW(&folder[0], static_cast<DWORD>(folder.size()));
      found = image.rfind(folder, 0) == 0;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return found;
}

// Uploaders started by the SDK end by themselves; bounded wait for three
// quiet looks in a row (a process just created may not be listed at once).
void WaitForUploaders() {
  int quiet = 0;
  for (int i = 0; i < 600 && quiet < 3; ++i) {
    quiet = UploaderRunning() ? 0 : quiet + 1;
    Sleep(100);
  }
  ASSERT_EQ(quiet, 3);
}

std::vector<std::string> SpoolLines() {
  std::string content = ReadFileBytes(g_sdk + L"spool.jsonl");
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    const size_t nl = content.find('\n', pos);
    if (nl == std::string::npos) break;
    lines.push_back(content.substr(pos, nl - pos));
    pos = nl + 1;
  }
  return lines;
}

Json::Value ParseLine(const std::string& line) {
  Json::Value v;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(line, v)) << line;
  return v;
}

int FreePort() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  int len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  closesocket(s);
  return ntohs(a.sin_port);
}

// A collector on loopback: reads each POST, keeps its lines, and answers as
// told. Runs until destroyed; every wait is bounded.
class Collector {
 public:
  enum Mode { kAcknowledge, kServerError, kHangUp, kSilent };
  explicit Collector(Mode mode) : mode_(mode) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    listen(listener_, 8);
    thread_ = std::thread([this] { Serve(); });
  }
  ~Collector() {
    stop_ = true;
    thread_.join();
    closesocket(listener_);
  }
  int port() const { return port_; }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (!stop_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(listener_, &set);
      timeval tv{0, 100000};
      if (select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
      SOCKET c = accept(listener_, nullptr, nullptr);
      if (c == INVALID_SOCKET) continue;
      Handle(c);
      closesocket(c);
    }
  }
  void Handle(SOCKET c) {
    std::string in;
    char buffer[4096];
    size_t need = std::string::npos;
    for (int turns = 0; turns < 10000; ++turns) {
      const size_t end = in.find("\r\n\r\n");
      if (end != std::string::npos && need == std::string::npos) {
        const size_t at = in.find("Content-Length: ");
        need = end + 4 + (at == std::string::npos ? 0 : std::stoul(in.substr(at + 16)));
      }
      if (need != std::string::npos && in.size() >= need) break;
      fd_set set;
      FD_ZERO(&set);
      FD_SET(c, &set);
      timeval tv{5, 0};
      if (select(0, &set, nullptr, nullptr, &tv) <= 0) return;
      const int n = recv(c, buffer, sizeof buffer, 0);
      if (n <= 0) return;
      in.append(buffer, n);
    }
    const std::string body = in.substr(in.find("\r\n\r\n") + 4);
    size_t count = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(in);
      size_t pos = 0;
      while (pos <= body.size()) {
        size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) nl = body.size();
        if (nl > pos) {
          lines_.push_back(body.substr(pos, nl - pos));
          ++count;
        }
        pos = nl + 1;
      }
    }
    std::string answer;
    if (mode_ == kAcknowledge) {
      const std::string json = "{\"code\": 0, \"accepted\": " + std::to_string(count) + "}";
      answer = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
               std::to_string(json.size()) + "\r\nConnection: close\r\n\r\n" + json;
    } else if (mode_ == kServerError) {
      answer = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n";
    }
    if (!answer.empty()) send(c, answer.data(), static_cast<int>(answer.size()), 0);
    // A collector that takes the request and never answers (bounded: 60 s).
    for (int i = 0; mode_ == kSilent && !stop_ && i < 600; ++i) Sleep(100);
  }

  Mode mode_;
  SOCKET listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<std::string> requests_;
};

// Runs Vek.exe by hand (as the SDK would) and returns its exit code.
DWORD RunUploader(int port) {
  const std::wstring exe = g_sdk + L"Vek.exe";
  std::wstring command = L"\"" + exe + L"\" 127.0.0.1 " + std::to_wstring(port) +
                         L" \"/sa?project=production\" 10001061";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, g_sdk.c_str(),
                      &si, &pi))
    return 1000;
  WaitForSingleObject(pi.hProcess, 120000);
  DWORD code = 1001;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + L"\\");
      } else {
        DeleteFileW((folder + name).c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

std::unique_ptr<CLoggerServer> MakeLogger(int port) {
  return std::make_unique<CLoggerServer>(
      [port](VekTables& t, VekCrashHandler handler, void* context) {
        CSdkBinding::Bind(t, handler, context);
        (void)t.core->setHostInfo(t.core->handle, "127.0.0.1", port);
      });
}

class VekRuntimeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    g_root = TempRoot();
    g_maker = g_root + L"maker\\";
    g_cache = g_root + L"cache\\";
    g_sdk = g_maker + L"Vek\\";
    CreateDirectoryW(g_root.c_str(), nullptr);
    CreateDirectoryW(g_cache.c_str(), nullptr);
    CSdkBinding::SetLocations({g_cache, g_maker});
  }
  static void TearDownTestSuite() {
    WaitForUploaders();
    RemoveTree(g_root);  // best effort: the loaded Vek.dll may stay behind
    WSACleanup();
  }
  void SetUp() override {
    WaitForUploaders();
    DeleteFileW((g_sdk + L"spool.jsonl").c_str());
  }
  void TearDown() override { WaitForUploaders(); }
};

TEST_F(VekRuntimeTest, BindsTheSdkUnpackedFromTheResource) {
  VekTables tables;
  ASSERT_NO_THROW(CSdkBinding::Bind(tables, &CLoggerServer::OnCrash, nullptr));
  // Unpacked from the resource in memory: the files under "Vek\", nothing
  // written to the cache directory.
  EXPECT_EQ(GetFileAttributesW((g_cache + L"Vek.zip").c_str()), INVALID_FILE_ATTRIBUTES);
  for (const wchar_t* name : {L"Vek.dll", L"Vek.exe", L"TaskAsUser.dll"})
    EXPECT_GT(ReadFileBytes(g_sdk + name).size(), 1000u) << Utf8FromWide(name);
  EXPECT_EQ(tables.sdkPath, g_sdk + L"Vek.dll");
  EXPECT_EQ(tables.companionPath, g_sdk + L"TaskAsUser.dll");
  ASSERT_TRUE(tables.core);
  EXPECT_NE(tables.core->handle, nullptr);
  EXPECT_TRUE(tables.core->free && tables.core->setMidVersion && tables.core->enableCrashReport &&
              tables.core->enableSandbox && tables.core->setNetProtocol &&
              tables.core->setURLVersion);
  ASSERT_TRUE(tables.collector);
  ASSERT_TRUE(tables.utility);
  EXPECT_TRUE(tables.utility->buildHttpData && tables.utility->decryptData &&
              tables.utility->dataFree && tables.utility->mid && tables.utility->midEx &&
              tables.utility->openUrl);
  ASSERT_TRUE(tables.runAsUser);
  EXPECT_NE(*tables.runAsUser, nullptr);
  // A freed handle is refused from then on.
  EXPECT_EQ(tables.core->free(tables.core->handle), 0);
  VekRecord record = nullptr;
  EXPECT_NE(tables.collector->create(tables.core->handle, 6, &record), 0);
  EXPECT_NE(tables.core->setSensorUrl(tables.core->handle, "/x"), 0);
  EXPECT_NE(tables.core->free(tables.core->handle), 0);
}

struct BindFailureCase {
  const char* name;
  const wchar_t* cacheDir;  // under the test root
  const wchar_t* makerDir;
  const char* text;
};

TEST_F(VekRuntimeTest, BindingFailuresLeaveTheLoggerInert) {
  const std::wstring base = g_root + L"failing\\";
  CreateDirectoryW(base.c_str(), nullptr);
  CreateDirectoryW((base + L"cache").c_str(), nullptr);
  // A file where the maker data directory should be.
  WriteFileBytes(base + L"file", "x");
  // A folder where Vek.dll should be: unpacking fails and nothing loads.
  CreateDirectoryW((base + L"blocked").c_str(), nullptr);
  CreateDirectoryW((base + L"blocked\\Vek").c_str(), nullptr);
  CreateDirectoryW((base + L"blocked\\Vek\\Vek.dll").c_str(), nullptr);
  const BindFailureCase cases[] = {
      {"maker directory is a file", L"cache\\", L"file\\", "Create VEK cache path failed"},
      {"unpacking blocked", L"cache\\", L"blocked\\", "Load VEK.dll failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CSdkBinding::SetLocations({base + c.cacheDir, base + c.makerDir});
    VekTables tables;
    std::string text;
    try {
      CSdkBinding::Bind(tables, &CLoggerServer::OnCrash, nullptr);
    } catch (const std::exception& e) {
      text = e.what();
    }
    EXPECT_EQ(text, c.text);
    EXPECT_FALSE(tables.core);
    EXPECT_FALSE(tables.collector);
    EXPECT_FALSE(tables.runAsUser);
    // The production logger in the same situation: every operation empty.
    CLoggerServer logger;
    logger.ClearProperties();
    logger.SetStringProperty("k", "v");
    EXPECT_FALSE(logger.SendEvent("vSoftQuit"));
    EXPECT_FALSE(logger.SendLaunch(1, "", "", ""));
    EXPECT_EQ(logger.BuildHttpData("/p", "{}"), "");
    EXPECT_EQ(logger.DecryptData(vek::Seal(kAppKey, "x")), "");
    EXPECT_EQ(logger.GetMid(), "");
    EXPECT_FALSE(logger.OpenUrl("http://127.0.0.1/"));
    EXPECT_EQ(logger.RunAsUser("open", "C:\\x.exe"), 0);
  }
  CSdkBinding::SetLocations({g_cache, g_maker});
}

// A Vek.dll put into the SDK folder by whoever can write there (the folder is
// the user's) is never loaded: its digest is not the carried module's, so
// the binding unpacks its own and loads that.
TEST_F(VekRuntimeTest, SwappedSdkModuleIsNeverLoaded) {
  std::wstring planted = WideFromUtf8(PELMAR_PLANTED_LIBRARY);
  if (!planted.empty() && planted[0] == L'/') planted = L"Z:" + planted;
  const std::wstring maker = g_root + L"swapped\\";
  const std::wstring folder = maker + L"Vek\\";
  CreateDirectoryW(maker.c_str(), nullptr);
  CreateDirectoryW(folder.c_str(), nullptr);
  ASSERT_TRUE(CopyFileW(planted.c_str(), (folder + L"Vek.dll").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(planted.c_str(), (folder + L"TaskAsUser.dll").c_str(), FALSE));
  CSdkBinding::SetLocations({g_cache, maker});
  VekTables tables;
  std::string failure;
  try {
    CSdkBinding::Bind(tables, &CLoggerServer::OnCrash, nullptr);
  } catch (const std::exception& e) {
    failure = e.what();
  }
  CSdkBinding::SetLocations({g_cache, g_maker});
  EXPECT_EQ(failure, "");
  EXPECT_EQ(GetFileAttributesW((folder + L"Vek.dll.loaded").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW((folder + L"TaskAsUser.dll.loaded").c_str()),
            INVALID_FILE_ATTRIBUTES);
  // What was loaded is the SDK: the planted library exports nothing.
  ASSERT_TRUE(tables.core);
  EXPECT_NE(tables.core->handle, nullptr);
  ASSERT_TRUE(tables.runAsUser);
  EXPECT_NE(*tables.runAsUser, nullptr);
  if (tables.core->free) {
    EXPECT_EQ(tables.core->free(tables.core->handle), 0);
  }
}

TEST_F(VekRuntimeTest, SpoolHoldsTheStartUpAndQuitRecords) {
  const int closed = FreePort();
  auto logger = MakeLogger(closed);
  // Start-up's launch report, then the quit sequence.
  logger->ClearProperties();
  logger->SetBoolProperty("is_first_install", true);
  logger->SetStringProperty("soft_package_name", "MorvantileSetup_ch01");
  logger->SetIntProperty("download_time", 1700000000);
  logger->SetStringProperty("parent_app_name", "explorer.exe");
  logger->SetStringProperty("install_type", kInstaller);
  ASSERT_TRUE(logger->SendEvent("pSoftInstall"));
  ASSERT_TRUE(logger->SendLaunch(1, "", "", ""));
  ASSERT_TRUE(logger->SendLifecycle(4, "0001", "0001", "MorvantileSetup_ch01", "", {}));
  ASSERT_TRUE(logger->SendLifecycle(4, "0001", "0002", "", "", {}));
  logger->ClearProperties();
  logger->SetStringProperty("event_name", kQuitText);
  ASSERT_TRUE(logger->SendEvent("vSoftQuit"));
  WaitForUploaders();  // nobody listens: everything stays spooled

  const std::string mid = logger->GetMid();
  ASSERT_EQ(mid.size(), 32u);
  const std::vector<std::string> lines = SpoolLines();
  ASSERT_EQ(lines.size(), 5u);
  const std::string tails[] = {
      "\"ints\":{},\"data\":{},\"event\":\"pSoftInstall\"",
      "\"ints\":{\"1\":1},\"data\":{},\"event\":\"\",\"event_id\":\"\",\"props\":{}}",
      "\"ints\":{\"50\":4},\"data\":{\"51\":\"MDAwMQ==\",\"52\":\"MDAwMQ==\",\"53\":\"" +
          vek::Base64Encode("MorvantileSetup_ch01") +
          "\"},\"event\":\"\",\"event_id\":\"\",\"props\":{}}",
      "\"ints\":{\"50\":4},\"data\":{\"51\":\"MDAwMQ==\",\"52\":\"MDAwMg==\"},\"event\":\"\","
      "\"event_id\":\"\",\"props\":{}}",
      "\"ints\":{},\"data\":{},\"event\":\"vSoftQuit\"",
  };
  const int types[] = {6, 1, 4, 4, 6};
  std::vector<std::string> uids;
  const long long nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  for (size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const Json::Value v = ParseLine(lines[i]);
    EXPECT_EQ(v["type"].asInt(), types[i]);
    EXPECT_EQ(v["app_id"].asString(), "10001061");
    EXPECT_EQ(v["app"].asString(), "win_installer");
    EXPECT_EQ(v["mid"].asString(), mid);
    EXPECT_LT(std::llabs(v["time"].asInt64() - nowMs), 3600 * 1000LL);
    EXPECT_EQ(v["uid"].asString().size(), 32u);
    uids.push_back(v["uid"].asString());
    EXPECT_NE(lines[i].find(tails[i]), std::string::npos);
  }
  EXPECT_NE(lines[0].find("\"props\":{\"download_time\":1700000000,\"is_first_install\":true,"
                          "\"install_type\":\"" +
                          std::string(kInstaller) +
                          "\",\"parent_app_name\":\"explorer.exe\",\"soft_package_name\":"
                          "\"MorvantileSetup_ch01\"}}"),
            std::string::npos);
  EXPECT_NE(lines[4].find("\"props\":{\"event_name\":\"" + std::string(kQuitText) + "\"}}"),
            std::string::npos);
  std::sort(uids.begin(), uids.end());
  EXPECT_EQ(std::unique(uids.begin(), uids.end()), uids.end()) << "uids repeat";
}

TEST_F(VekRuntimeTest, UploaderDeliversAndEmptiesTheSpool) {
  Collector collector(Collector::kAcknowledge);
  auto logger = MakeLogger(collector.port());
  for (int i = 0; i < 3; ++i) {
    logger->ClearProperties();
    logger->SetIntProperty("n", i);
    ASSERT_TRUE(logger->SendEvent("vDelivered"));
  }
  // The SDK started the uploader itself; it ends once the spool is empty.
  for (int i = 0; i < 600 && (!SpoolLines().empty() || UploaderRunning()); ++i) Sleep(100);
  EXPECT_TRUE(SpoolLines().empty());
  WaitForUploaders();
  const auto lines = collector.lines();
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ParseLine(lines[i])["props"]["n"].asInt(), i);
  const std::string request = collector.requests().at(0);
  EXPECT_EQ(request.rfind("POST /sa?project=production HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(request.find("Content-Type: application/x-ndjson\r\n"), std::string::npos);
}

TEST_F(VekRuntimeTest, CollectorDownOrFailingKeepsTheSpoolForALaterRun) {
  auto logger = MakeLogger(FreePort());
  ASSERT_TRUE(logger->SendEvent("vKept1"));
  ASSERT_TRUE(logger->SendEvent("vKept2"));
  WaitForUploaders();
  ASSERT_EQ(SpoolLines().size(), 2u);
  const std::vector<std::string> before = SpoolLines();

  {
    Collector failing(Collector::kServerError);
    EXPECT_EQ(RunUploader(failing.port()), 3u);
    EXPECT_EQ(failing.lines().size(), 2u);
  }
  EXPECT_EQ(SpoolLines(), before);
  EXPECT_EQ(RunUploader(FreePort()), 3u);
  EXPECT_EQ(SpoolLines(), before);

  // An answer that never comes: the collector may have stored the lines, so
  // they go again with the same uid, which is how it recognises them.
  std::vector<std::string> firstTry;
  {
    Collector hangUp(Collector::kHangUp);
    EXPECT_EQ(RunUploader(hangUp.port()), 3u);
    firstTry = hangUp.lines();
  }
  EXPECT_EQ(SpoolLines(), before);
  {
    // Too slow: the uploader gives up on its own and keeps everything.
    Collector silent(Collector::kSilent);
    EXPECT_EQ(RunUploader(silent.port()), 3u);
  }
  EXPECT_EQ(SpoolLines(), before);
  Collector good(Collector::kAcknowledge);
  EXPECT_EQ(RunUploader(good.port()), 0u);
  EXPECT_TRUE(SpoolLines().empty());
  EXPECT_EQ(good.lines(), before);
  EXPECT_EQ(firstTry, before);
}

TEST_F(VekRuntimeTest, TruncatedLineIsSkippedAndNeverBlocksLaterRecords) {
  auto logger = MakeLogger(FreePort());
  ASSERT_TRUE(logger->SendEvent("vBefore"));
  WaitForUploaders();
  // Power lost in the middle of the next write.
  const std::string good = ReadFileBytes(g_sdk + L"spool.jsonl");
  WriteFileBytes(g_sdk + L"spool.jsonl", good + "{\"uid\":\"0123456789abcdef");
  ASSERT_TRUE(logger->SendEvent("vAfter"));
  WaitForUploaders();
  const auto lines = SpoolLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "{\"uid\":\"0123456789abcdef");
  EXPECT_EQ(ParseLine(lines[2])["event"].asString(), "vAfter");

  Collector collector(Collector::kAcknowledge);
  EXPECT_EQ(RunUploader(collector.port()), 0u);
  const auto delivered = collector.lines();
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(ParseLine(delivered[0])["event"].asString(), "vBefore");
  EXPECT_EQ(ParseLine(delivered[1])["event"].asString(), "vAfter");
  EXPECT_TRUE(ReadFileBytes(g_sdk + L"spool.jsonl").empty());
}

TEST_F(VekRuntimeTest, ReleasedHandleWritesNothing) {
  auto logger = MakeLogger(FreePort());
  logger->ReleaseHandle();
  logger->ClearProperties();
  logger->SetStringProperty("event_name", kQuitText);
  EXPECT_FALSE(logger->SendEvent("vSoftQuit"));
  EXPECT_FALSE(logger->SendLifecycle(4, "0001", "0002", "", "", {}));
  EXPECT_TRUE(SpoolLines().empty());
}

TEST_F(VekRuntimeTest, RequestsAndSealedPayloadsThroughTheDll) {
  const int port = FreePort();
  auto logger = MakeLogger(port);
  const std::string body = "{\"appId\":\"10001061\"}";
  EXPECT_EQ(logger->BuildHttpData("/installer/package/index", body),
            vek::BuildSignedRequest("127.0.0.1", port, "10001061", kAppKey, "/v1.1",
                                    "/installer/package/index", body));
  const std::string payload = "{\"md5\":\"0123\",\"url\":\"http://127.0.0.1/a.exe\"}";
  const std::string sealed = vek::Seal(kAppKey, payload);
  EXPECT_EQ(logger->DecryptData(sealed), payload);
  std::string tampered = sealed;
  tampered[3] = tampered[3] == 'A' ? 'B' : 'A';
  EXPECT_EQ(logger->DecryptData(tampered), "");
  EXPECT_EQ(logger->DecryptData(vek::Seal("another key", payload)), "");
  EXPECT_EQ(logger->DecryptData(sealed.substr(0, sealed.size() - 1)), "");
  EXPECT_EQ(logger->DecryptData("garbage"), "");
  EXPECT_EQ(logger->DecryptData(""), "");
}

TEST_F(VekRuntimeTest, MachineIdIsStablePerUser) {
  const std::string first = MakeLogger(FreePort())->GetMid();
  const std::string second = MakeLogger(FreePort())->GetMid();
  ASSERT_EQ(first.size(), 32u);
  EXPECT_EQ(first, second);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\PelmarPkg\\Vek", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  wchar_t value[64] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  EXPECT_EQ(RegQueryValueExW(key, L"mid", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(Utf8FromWide(value), first);
}

std::wstring ProbePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring self(path);
  return self.substr(0, self.find_last_of(L'\\') + 1) + L"vek_crash_probe.exe";
}

// Starts the probe with the test's folders; returns its process handle.
HANDLE StartProbe(const std::wstring& extra) {
  const std::wstring probe = ProbePath();
  // No trailing backslash inside the quotes: it would escape the quote.
  const auto bare = [](const std::wstring& dir) { return dir.substr(0, dir.size() - 1); };
  std::wstring command = L"\"" + probe + L"\" \"" + bare(g_maker) + L"\" \"" + bare(g_cache) +
                         L"\" " + std::to_wstring(FreePort()) + extra;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(probe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

DWORD WaitProbe(HANDLE process) {
  DWORD code = 1002;
  if (WaitForSingleObject(process, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

TEST_F(VekRuntimeTest, ProcessesWritingAtOnceLoseNoRecord) {
  constexpr int kWriters = 3;
  constexpr int kEach = 40;
  HANDLE writers[kWriters];
  for (HANDLE& w : writers) {
    w = StartProbe(L" " + std::to_wstring(kEach));
    ASSERT_NE(w, nullptr);
  }
  for (HANDLE w : writers) EXPECT_EQ(WaitProbe(w), 0u);
  WaitForUploaders();
  const auto lines = SpoolLines();
  ASSERT_EQ(lines.size(), static_cast<size_t>(kWriters * kEach));
  std::map<int, int> perWriter;
  for (const auto& line : lines) {
    const Json::Value v = ParseLine(line);
    EXPECT_EQ(v["event"].asString(), "vWriter");
    ++perWriter[v["props"]["pid"].asInt()];
  }
  ASSERT_EQ(perWriter.size(), static_cast<size_t>(kWriters));
  for (const auto& [pid, count] : perWriter) EXPECT_EQ(count, kEach) << pid;
}

TEST_F(VekRuntimeTest, CrashWritesMinidumpAndTheHandlersRecords) {
  HANDLE probe = StartProbe(L"");
  ASSERT_NE(probe, nullptr);
  const DWORD code = WaitProbe(probe);
  // 0xC0000005: ended by the access violation, not by a return.
  EXPECT_EQ(code, 0xC0000005u);
  WaitForUploaders();

  const auto lines = SpoolLines();
  ASSERT_EQ(lines.size(), 4u);
  const Json::Value dumpRecord = ParseLine(lines[0]);
  EXPECT_EQ(dumpRecord["type"].asInt(), 4);
  EXPECT_EQ(dumpRecord["ints"]["50"].asInt(), 1);
  EXPECT_EQ(dumpRecord["data"]["51"].asString(), "MDAwMQ==");
  EXPECT_EQ(dumpRecord["data"]["52"].asString(), "MDAwMQ==");
  std::string dumpPath;
  ASSERT_TRUE(vek::Base64Decode(dumpRecord["data"]["55"].asString(), &dumpPath));
  // The dump sits in the SDK folder and is a minidump.
  EXPECT_EQ(dumpPath.rfind(Utf8FromWide(g_sdk), 0), 0u) << dumpPath;
  EXPECT_EQ(ReadFileBytes(WideFromUtf8(dumpPath)).substr(0, 4), "MDMP");

  const Json::Value quit = ParseLine(lines[1]);
  EXPECT_EQ(quit["ints"]["50"].asInt(), 4);
  EXPECT_EQ(quit["data"]["52"].asString(), "MDAwMg==");
  const Json::Value dump = ParseLine(lines[2]);
  EXPECT_EQ(dump["event"].asString(), "vSoftDump");
  EXPECT_EQ(dump["props"].size(), 0u);
  const Json::Value soft = ParseLine(lines[3]);
  EXPECT_EQ(soft["event"].asString(), "vSoftQuit");
  EXPECT_EQ(soft["props"].size(), 1u);
  EXPECT_EQ(soft["props"]["event_name"].asString(), kCrashText);
  // Consecutive events: the counter part of the id goes up by one (the
  // seconds part may have moved on between them).
  EXPECT_EQ(std::stoll(soft["event_id"].asString()) % 100,
            (std::stoll(dump["event_id"].asString()) + 1) % 100);
}

// Waits (bounded) for the probe copy in `folder` to leave its marker.
bool ProbeStartedIn(const std::wstring& folder) {
  for (int i = 0; i < 300; ++i) {
    if (GetFileAttributesW((folder + L"started.txt").c_str()) != INVALID_FILE_ATTRIBUTES)
      return true;
    Sleep(100);
  }
  return false;
}

// A copy of the probe in a folder of its own; run without arguments it
// leaves "started.txt" beside itself.
std::wstring ProbeCopy(const wchar_t* name) {
  const std::wstring folder = g_root + name + L"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring copy = folder + L"probe.exe";
  EXPECT_TRUE(CopyFileW(ProbePath().c_str(), copy.c_str(), FALSE));
  return copy;
}

TEST_F(VekRuntimeTest, RunAsUserAndOpenUrlStartThroughTheShell) {
  auto logger = MakeLogger(FreePort());
  const std::wstring runAs = ProbeCopy(L"runas");
  EXPECT_NE(logger->RunAsUser("open", Utf8FromWide(runAs)), 0);
  EXPECT_TRUE(ProbeStartedIn(runAs.substr(0, runAs.size() - 9)));
  EXPECT_EQ(logger->RunAsUser("open", ""), 0);

  EXPECT_FALSE(logger->OpenUrl(""));
}

// A download address from a server or a redirect reaches the reminder's
// "open": a file address or a program path must start nothing, neither
// through the installer's logger nor when handed to vekOpenUrl directly.
TEST_F(VekRuntimeTest, OpenUrlStartsNoProgramOrFileAddress) {
  auto logger = MakeLogger(FreePort());
  const HMODULE vek = GetModuleHandleW(L"Vek.dll");
  ASSERT_NE(vek, nullptr);
  const auto open =
      reinterpret_cast<VekOpenUrlFn>(reinterpret_cast<void*>(GetProcAddress(vek, "vekOpenUrl")));
  ASSERT_NE(open, nullptr);

  const std::wstring program = ProbeCopy(L"openurl");
  const std::wstring folder = program.substr(0, program.size() - 9);
  std::wstring forward = program;
  for (wchar_t& c : forward) {
    if (c == L'\\') c = L'/';
  }
  const std::string addresses[] = {
      Utf8FromWide(program),
      "file:///" + Utf8FromWide(forward),
      "file://localhost/" + Utf8FromWide(forward),
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    EXPECT_FALSE(logger->OpenUrl(address));
    EXPECT_EQ(open(address.c_str()), 1);
  }
  // The shell starts a program before ShellExecute returns; give a wrongly
  // started one a moment to leave its marker all the same.
  Sleep(1500);
  EXPECT_EQ(GetFileAttributesW((folder + L"started.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace pelmar
