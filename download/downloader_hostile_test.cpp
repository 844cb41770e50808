// A hostile download server on loopback against the real controller: it
// names the file, sends versions that are paths, wrong bytes, and headers
// that trickle in, and forges, replays and withholds the maker's signed
// release statement. Whatever it does, nothing may appear outside the rules
// in the product data folder (or anywhere else), "config.ini" is only ever
// written by the installer itself, a stalling server cannot hold the
// controller up, and nothing the maker did not sign is ever done, reused or
// started.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/testing/release_signing.h"
#include "base/testing/wait_until.h"
#include "services/installer_settings.h"
#include "download/download_events.h"
#include "download/download_file_name.h"
#include "download/downloader.h"
#include "loopback_server.h"
#include "net/net_test_support.h"
#include "base/text_convert.h"
#include "base/md5.h"
#include "temp_dir.h"

namespace pelmar {
namespace {

using testing::LoopbackTcpServer;
using testing::ReadUntil;
using testing::SendText;
using testing::TestMaker;

namespace fs = std::filesystem;

// What the server does with the requests of one case.
struct Attack {
  const char* name;
  std::string disposition;  // the Content-Disposition file name, or none
  std::string version;      // the package record's version
  bool wrongBytes = false;  // sends bytes that do not have the record's digest
  int trickleHeads = 0;     // the first N HEAD answers trickle in a byte at a time
  int32_t expectState = IDownloader::kDone;
  std::wstring expectName;  // the final file's name when done
};

// Answers HEAD with the package's length (and the case's file name) and GET
// with exactly the asked range, or trickles a HEAD answer one byte at a time
// until the client gives up. One connection at a time, like a small CDN.
class HostileDownloadServer {
 public:
  static constexpr int kTrickleIntervalMs = 400;

  // Serves `package` under every path, and `detached` (when not empty) as
  // "<path>.sig".
  HostileDownloadServer(const Attack& attack, std::string package, std::string detached = "")
      : attack_(attack),
        package_(std::move(package)),
        detached_(std::move(detached)),
        server_([this](SocketHandle c) { Serve(c); }) {}

  std::string Url(const std::string& path = "/cdn/install.exe") const {
    return "http://127.0.0.1:" + std::to_string(server_.Port()) + path;
  }
  int DetachedGets() const { return detached_gets_.load(); }
  int CutTrickles() const { return cut_trickles_.load(); }
  int FinishedTrickles() const { return finished_trickles_.load(); }
  int TrickleBytesSent() const { return trickle_bytes_.load(); }

 private:
  void Serve(SocketHandle c) {
    const std::string request = ReadUntil(c, "\r\n\r\n", 16384);
    const size_t line_end = request.find(' ', request.find(' ') + 1);
    if (request.compare(0, 4, "GET ") == 0 && line_end != std::string::npos &&
        request.compare(line_end - 4, 4, ".sig") == 0) {
      ++detached_gets_;
      (void)SendText(c, detached_.empty()
                            ? std::string("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                            : "HTTP/1.1 200 OK\r\nContent-Length: " +
                                  std::to_string(detached_.size()) + "\r\n\r\n" + detached_);
      return;
    }
    if (request.compare(0, 5, "HEAD ") == 0) {
      std::string head = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(package_.size()) +
                         "\r\nContent-Type: application/octet-stream\r\n";
      if (!attack_.disposition.empty()) {
        head += "Content-Disposition: attachment; filename=\"" + attack_.disposition + "\"\r\n";
      }
      // Padding, so a trickled header takes long enough to need a bound.
      head += "X-Padding: " + std::string(300, 'p') + "\r\n\r\n";
      if (heads_++ < attack_.trickleHeads) {
        Trickle(c, head);
      } else {
        (void)SendText(c, head);
      }
      return;
    }
    const size_t at = request.find("Range:bytes=");
    if (request.compare(0, 4, "GET ") != 0 || at == std::string::npos) return;
    long long first = 0, last = 0;
    if (std::sscanf(request.c_str() + at, "Range:bytes=%lld-%lld", &first, &last) != 2) return;
    if (first < 0 || last < first || static_cast<size_t>(last) >= package_.size()) return;
    std::string bytes =
        package_.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1));
    if (attack_.wrongBytes) bytes[0] = static_cast<char>(bytes[0] ^ 0x5A);
    (void)SendText(
        c, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" +
               std::to_string(last) + "/" + std::to_string(package_.size()) +
               "\r\nContent-Length: " + std::to_string(bytes.size()) + "\r\n\r\n" + bytes);
  }

  void Trickle(SocketHandle c, const std::string& head) {
    for (char byte : head) {
      if (server_.Stopping() || !SendText(c, std::string(1, byte))) {
        ++cut_trickles_;
        return;
      }
      ++trickle_bytes_;
      std::this_thread::sleep_for(std::chrono::milliseconds(kTrickleIntervalMs));
    }
    ++finished_trickles_;
  }

  const Attack attack_;
  const std::string package_;
  const std::string detached_;
  std::atomic<int> heads_{0};
  std::atomic<int> detached_gets_{0};
  std::atomic<int> cut_trickles_{0};
  std::atomic<int> finished_trickles_{0};
  std::atomic<int> trickle_bytes_{0};
  LoopbackTcpServer server_;  // last: its thread uses the members above
};

struct DownloaderDeleter {
  void operator()(IDownloader* d) const {
    if (d != nullptr) d->Destroy();
  }
};
using DownloaderPtr = std::unique_ptr<IDownloader, DownloaderDeleter>;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class HostileServerTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    data_ = root_.path() / "PelmarPkg" / "MORVANTILE";
    fs::create_directories(data_);
    // An earlier run's settings, which no server may change; made by the
    // installer's own writer, so the file has the encoding it always has.
    config_ = data_ / "config.ini";
    InstallerSettings earlier(DataDir() + L"config.ini");
    earlier.SetBeginTimestamp(L"1700000000");
    package_ = "MZ" + std::string(150000, 'k') + "setup";
  }
  std::wstring DataDir() const {
    return WideFromUtf8(data_.u8string()) + testing::TempDir::kSeparator;
  }

  DownloaderServices Services(IPackageRecord* record, InstallerSettings* settings) {
    DownloaderServices s;
    s.query.package = record;
    s.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
    s.query.builtinUrl = "http://127.0.0.1:9/none/install.exe";
    s.query.probeHosts = {"127.0.0.1"};
    s.query.headRetryPauseMs = 10;
    s.query.headTimeoutMs = 3000;  // the product's per-read limit
    s.settings = settings;
    s.productDataDirectory = DataDir();
    return s;
  }

  // Every file under the test's root, as paths relative to it.
  std::set<std::string> Files() const {
    std::set<std::string> out;
    for (const auto& entry : fs::recursive_directory_iterator(root_.path())) {
      if (entry.is_regular_file()) out.insert(fs::relative(entry.path(), root_.path()).u8string());
    }
    return out;
  }
  std::string InData(const std::wstring& name) const {
    return (fs::path("PelmarPkg") / "MORVANTILE" / fs::u8path(Utf8FromWide(name))).u8string();
  }

  static int32_t PollToEnd(IDownloader* d) {
    int32_t state = d->Poll();
    (void)testing::WaitUntil([&] { return (state = d->Poll()) != IDownloader::kRunning; });
    return state;
  }

  // The maker's genuine signed release of the package (the development key
  // the build pins), as a genuine record carries it.
  SignedReleaseText Genuine() const {
    return testing::SignedReleaseFor(TestMaker::Development(), package_, "1.0.0.1");
  }
  std::vector<std::string> ErrorStatuses() {
    std::vector<std::string> out;
    for (const auto& e : logger_.EventsNamed("vSoftDownloadError")) {
      out.push_back(e.strings.at("error_status"));
    }
    return out;
  }

  testing::TempDir root_;
  fs::path data_;
  fs::path config_;
  std::string package_;
};

class HostileAttackTest : public HostileServerTest, public ::testing::WithParamInterface<Attack> {};

TEST_P(HostileAttackTest, NothingOutsideTheRules) {
  const Attack& attack = GetParam();
  HostileDownloadServer server(attack, package_);
  const std::string config_before = ReadAll(config_);
  const std::string digest = Md5Text(package_);
  int32_t state;
  std::wstring final_path;
  {
    InstallerSettings settings(DataDir() + L"config.ini");
    CFixedPackageRecord record({server.Url()}, digest, attack.version, IPackageRecord::kReady,
                               Genuine());
    DownloaderServices services = Services(&record, &settings);
    // Under a trickle of a byte every 400 ms each read succeeds; only the
    // exchange's deadline (four read limits) can end it.
    if (attack.trickleHeads > 0) services.query.headTimeoutMs = 1000;
    DownloaderPtr d(CreateDownloader(services));
    ASSERT_TRUE(d->Start());
    state = PollToEnd(d.get());
    final_path = d->GetFilePath();
  }  // the controller is gone: nothing partial may stay behind

  EXPECT_EQ(state, attack.expectState);
  std::set<std::string> allowed = {InData(L"config.ini")};
  if (state == IDownloader::kDone) {
    EXPECT_EQ(final_path, DataDir() + attack.expectName);
    allowed.insert(InData(attack.expectName));
    EXPECT_EQ(ReadAll(fs::u8path(Utf8FromWide(final_path))), package_);
    // The installer's own record of its verified download, and nothing else.
    InstallerSettings reread(DataDir() + L"config.ini");
    EXPECT_EQ(reread.Path(), final_path);
    EXPECT_EQ(reread.Md5(), WideFromUtf8(digest));
  } else {
    EXPECT_EQ(ReadAll(config_), config_before);
  }
  EXPECT_EQ(Files(), allowed);
  if (attack.trickleHeads > 0) {
    // The bounded HEAD exchange hung up on the trickle before it ended.
    EXPECT_EQ(server.CutTrickles(), attack.trickleHeads);
    EXPECT_EQ(server.FinishedTrickles(), 0);
  }
}

// The installer's own name for the download, when the server's is refused.
const wchar_t* const kDerived = L"Morvantile_setup_install_v1.0.0.1.exe";
const wchar_t* const kDerivedNoVersion = L"Morvantile_setup_install.exe";

const Attack kAttacks[] = {
    {"plain download", "", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names a plain setup program", "Morvantile_2.exe", "1.0.0.1", false, 0,
     IDownloader::kDone, L"Morvantile_2.exe"},
    // Names that would overwrite the settings or plant a library the setup
    // program loads from its folder: the installer's own name is used.
    {"server names config.ini", "config.ini", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names version.dll", "version.dll", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names the partial file", "setup.exe.part", "1.0.0.1", false, 0, IDownloader::kDone,
     kDerived},
    {"server names a path out of the folder", "..\\..\\Startup\\evil.exe", "1.0.0.1", false, 0,
     IDownloader::kDone, L"evil.exe"},
    // Device names, also with an extension and in their superscript forms.
    {"server names nul", "nul", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names con.exe", "con.exe", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names COM1.exe", "COM1.exe", "1.0.0.1", false, 0, IDownloader::kDone, kDerived},
    {"server names a name Windows would cut", "setup.exe. ", "1.0.0.1", false, 0,
     IDownloader::kDone, kDerived},
    // Versions that are paths count as no version.
    {"version climbs out of the folder", "", "/../../../escaped/pwned", false, 0,
     IDownloader::kDone, kDerivedNoVersion},
    {"version into the start-up folder", "",
     "\\..\\..\\..\\Microsoft\\Windows\\Start Menu\\Programs\\Startup\\x", false, 0,
     IDownloader::kDone, kDerivedNoVersion},
    // Wrong bytes under an inviting name: never renamed, removed at the end.
    {"wrong bytes named evil.exe", "evil.exe", "1.0.0.1", true, 0, IDownloader::kFailed, L""},
    {"wrong bytes named config.ini", "config.ini", "1.0.0.1", true, 0, IDownloader::kFailed, L""},
    // A header trickling in under the per-read limit: the exchange's overall
    // deadline ends it, and the next attempt is answered.
    {"HEAD answer trickles in", "", "1.0.0.1", false, 1, IDownloader::kDone, kDerived},
};
INSTANTIATE_TEST_SUITE_P(Attacks, HostileAttackTest, ::testing::ValuesIn(kAttacks),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST_F(HostileServerTest, StoredFileNamedBySettingsIsNotReusedWithoutThePackageDigest) {
  // The attack of three runs: an earlier server left "evil.exe" and made the
  // settings point at it. Only the package digest decides a reuse.
  const fs::path evil = data_ / "evil.exe";
  std::ofstream(evil, std::ios::binary) << "evil";
  {
    InstallerSettings planted(DataDir() + L"config.ini");
    ASSERT_TRUE(planted.ValidateAndRecord(WideFromUtf8(Md5Text("evil")),
                                          WideFromUtf8(evil.u8string()), false));
  }
  Attack plain{"plain", "", "1.0.0.1"};
  HostileDownloadServer server(plain, package_);
  InstallerSettings settings(DataDir() + L"config.ini");
  CFixedPackageRecord record({server.Url()}, Md5Text(package_), "1.0.0.1", IPackageRecord::kReady,
                             Genuine());
  DownloaderServices services = Services(&record, &settings);
  services.productVersionOfFile = [](const std::wstring&) { return std::wstring(L"9.9.9.9"); };
  DownloaderPtr d(CreateDownloader(services));
  ASSERT_TRUE(d->Start());
  ASSERT_EQ(PollToEnd(d.get()), IDownloader::kDone);
  EXPECT_EQ(std::wstring(d->GetFilePath()), DataDir() + kDerived);
  for (const auto& e : logger_.EventsNamed("pSoftDownloadResult")) {
    EXPECT_EQ(e.strings.at("soft_download_status"), "下载成功");
  }
  EXPECT_EQ(settings.Path(), DataDir() + kDerived);
}

TEST_F(HostileServerTest, DestroyHangsUpOnATricklingHead) {
  // Every HEAD answer trickles: without a stop that reaches the socket the
  // query would sit in its receive for the whole header.
  Attack slow{"slow", "", "1.0.0.1", false, 1000};
  HostileDownloadServer server(slow, package_);
  InstallerSettings settings(DataDir() + L"config.ini");
  CFixedPackageRecord record({server.Url()}, Md5Text(package_), "1.0.0.1", IPackageRecord::kReady,
                             Genuine());
  DownloaderPtr d(CreateDownloader(Services(&record, &settings)));
  ASSERT_TRUE(d->Start());
  (void)testing::WaitUntil([&] { return server.TrickleBytesSent() >= 3; });
  ASSERT_GE(server.TrickleBytesSent(), 3);
  EXPECT_EQ(d->Poll(), IDownloader::kRunning);
  const auto before = std::chrono::steady_clock::now();
  d.reset();
  const auto took = std::chrono::steady_clock::now() - before;
  // Reported, not asserted: the figure belongs to the report.
  std::printf(
      "destroy during a trickling HEAD took %lld ms\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  (void)testing::WaitUntil([&] { return server.CutTrickles() != 0; });
  EXPECT_EQ(server.CutTrickles(), 1);
  EXPECT_EQ(server.FinishedTrickles(), 0);
  EXPECT_EQ(Files(), std::set<std::string>{InData(L"config.ini")});
}

// --- the maker's signature: the attacks of the security review -------------

// What the hostile side serves in one case: the bytes behind every address,
// the package record (digest, statement; or no record at all, so the query
// falls back to the built-in address), the ".sig" beside the addresses, and
// what the machine has installed.
struct ReleaseCase {
  std::string served;            // the bytes every GET answers with
  bool record = true;            // false: the record failed (built-in address)
  std::string md5;               // the record's digest
  SignedReleaseText release;     // the record's statement
  std::string detached;          // the ".sig" body; empty: 404
  std::wstring installed;        // the installed product's version; empty: none
  const char* refusal = nullptr;  // the expected "error_status"; null: done
};

struct ReleaseAttack {
  const char* name;
  ReleaseCase (*make)(const std::string& package);
};

const TestMaker& Maker() {
  static const TestMaker maker = TestMaker::Development();
  return maker;
}
// A key of the attacker's own: no installer pins it.
const TestMaker& Attacker() {
  static const TestMaker attacker(0x66);
  return attacker;
}
// Other bytes of the same length: the attacker's program.
std::string Swapped(const std::string& package) {
  std::string evil = package;
  for (size_t i = 2; i + 5 < evil.size(); ++i) evil[i] = 'e';
  return evil;
}
SignedReleaseText SignedBy(const TestMaker& key, const std::string& bytes,
                           const std::string& version = "1.0.0.1", int64_t signedAt = 0,
                           int64_t days = 30, const std::string& product = "morvantile") {
  ReleaseStatement statement =
      signedAt == 0 ? testing::StatementFor(bytes, version, product)
                    : testing::StatementFor(bytes, version, product, signedAt, days);
  return key.Sign(FormatReleaseStatement(statement));
}

const ReleaseAttack kReleaseAttacks[] = {
    // The review: the record's seal is an HMAC whose key every installer
    // carries, so a record can be forged with the MD5 of any bytes.
    {"forged record with the MD5 of swapped bytes and the genuine statement replayed",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.md5 = Md5Text(c.served);
       c.release = SignedBy(Maker(), p);
       c.refusal = "文件SHA256与发布声明不符";
       return c;
     }},
    {"forged record with the MD5 of swapped bytes and no statement",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.md5 = Md5Text(c.served);
       c.refusal = "缺少发布声明";
       return c;
     }},
    {"forged record with a statement signed by the attacker's key",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.md5 = Md5Text(c.served);
       c.release = SignedBy(Attacker(), c.served);
       c.refusal = "发布声明签名无效";
       return c;
     }},
    {"forged record whose .sig beside the file is the attacker's",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.md5 = Md5Text(c.served);
       c.detached = JoinDetachedRelease(SignedBy(Attacker(), c.served));
       c.refusal = "发布声明签名无效";
       return c;
     }},
    // The review: an empty digest skipped the check (1,000 bytes of "X"
    // reached state 4).
    {"empty digest and 1000 bytes of X",
     [](const std::string&) {
       ReleaseCase c;
       c.served = std::string(1000, 'X');
       c.refusal = "缺少发布声明";
       return c;
     }},
    {"empty digest, swapped bytes and the genuine statement",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.release = SignedBy(Maker(), p);
       c.refusal = "文件SHA256与发布声明不符";
       return c;
     }},
    // The review: the built-in address was taken with no digest at all.
    {"built-in address with no .sig",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.record = false;
       c.refusal = "缺少发布声明";
       return c;
     }},
    {"built-in address with a .sig for other bytes",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = Swapped(p);
       c.record = false;
       c.detached = JoinDetachedRelease(SignedBy(Maker(), p));
       c.refusal = "文件SHA256与发布声明不符";
       return c;
     }},
    {"built-in address with a .sig naming another length",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.record = false;
       c.detached = JoinDetachedRelease(SignedBy(Maker(), p + "x"));
       c.refusal = "文件大小与发布声明不符";
       return c;
     }},
    // Old records can be replayed: a genuine older release, bytes and all.
    {"replayed older release",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = SignedBy(Maker(), p, "0.9.0.0");
       c.installed = L"1.0.0.1";
       c.refusal = "发布版本低于已安装版本";
       return c;
     }},
    {"expired release",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = SignedBy(Maker(), p, "1.0.0.1",
                            static_cast<int64_t>(std::time(nullptr)) - 40 * 86400, 30);
       c.refusal = "发布声明已过期";
       return c;
     }},
    {"release of another product",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = SignedBy(Maker(), p, "1.0.0.1", 0, 30, "tovren");
       c.refusal = "发布声明产品不符";
       return c;
     }},
    {"statement with a line of its own, signed",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = Maker().Sign(FormatReleaseStatement(testing::StatementFor(p, "1.0.0.1")) +
                                "note=x\n");
       c.refusal = "发布声明格式错误";
       return c;
     }},
    // And the genuine ones still download, verify and are started.
    {"genuine statement in the record",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = SignedBy(Maker(), p);
       return c;
     }},
    {"genuine .sig beside the built-in address",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.record = false;
       c.detached = JoinDetachedRelease(SignedBy(Maker(), p));
       return c;
     }},
    {"genuine release of the installed version again",
     [](const std::string& p) {
       ReleaseCase c;
       c.served = p;
       c.md5 = Md5Text(p);
       c.release = SignedBy(Maker(), p, "1.0.0.1");
       c.installed = L"1.0.0.1";
       return c;
     }},
};

class ReleaseAttackTest : public HostileServerTest,
                          public ::testing::WithParamInterface<ReleaseAttack> {};

TEST_P(ReleaseAttackTest, NothingUnsignedIsDoneOrStarted) {
  const ReleaseCase c = GetParam().make(package_);
  Attack plain{"plain", "", "1.0.0.1"};
  HostileDownloadServer server(plain, c.served, c.detached);
  const std::string config_before = ReadAll(config_);
  int32_t state;
  std::wstring final_path;
  std::vector<std::wstring> started;
  bool start_ran;
  {
    InstallerSettings settings(DataDir() + L"config.ini");
    CFixedPackageRecord record({server.Url()}, c.md5, "1.0.0.1",
                               c.record ? IPackageRecord::kReady : IPackageRecord::kFailed,
                               c.release);
    DownloaderServices services = Services(&record, &settings);
    services.query.builtinUrl = server.Url("/application/soft_package/pc/10001061/software/install.exe");
    if (!c.installed.empty()) {
      services.installedProductPath = [] { return std::wstring(L"C:\\Program Files\\Morvantile.exe"); };
      services.installedProductVersion = [c] { return c.installed; };
    }
    DownloaderPtr d(CreateDownloader(services));
    ASSERT_TRUE(d->Start());
    state = PollToEnd(d.get());
    final_path = d->GetFilePath();
    // A refused file is gone at once, the partial one with it (not only
    // when the controller goes).
    if (c.refusal != nullptr) EXPECT_EQ(Files(), std::set<std::string>{InData(L"config.ini")});
    // What the progress page does next: start the checked file.
    start_ran = d->StartCheckedFile([&](const std::wstring& path) {
      started.push_back(path);
      // Started while still held: the bytes there are the checked ones.
      EXPECT_EQ(ReadAll(fs::u8path(Utf8FromWide(path))), package_);
    });
  }
  std::set<std::string> allowed = {InData(L"config.ini")};
  if (c.refusal != nullptr) {
    EXPECT_EQ(state, IDownloader::kFailed);
    EXPECT_FALSE(start_ran);
    EXPECT_TRUE(started.empty());
    ASSERT_FALSE(ErrorStatuses().empty());
    EXPECT_EQ(ErrorStatuses().back(), c.refusal);
    EXPECT_EQ(ReadAll(config_), config_before);
    for (const auto& e : logger_.EventsNamed("pSoftDownloadResult")) {
      EXPECT_NE(e.strings.at("soft_download_status"), "下载成功");
    }
  } else {
    EXPECT_EQ(state, IDownloader::kDone);
    EXPECT_TRUE(start_ran);
    EXPECT_EQ(started, std::vector<std::wstring>{final_path});
    EXPECT_TRUE(ErrorStatuses().empty()) << ::testing::PrintToString(ErrorStatuses());
    ASSERT_EQ(final_path.rfind(DataDir(), 0), 0u);
    allowed.insert(InData(final_path.substr(DataDir().size())));
  }
  // The partial file and a refused file are gone; nothing else appeared.
  EXPECT_EQ(Files(), allowed);
  if (!c.record) EXPECT_EQ(server.DetachedGets(), 1);
}

INSTANTIATE_TEST_SUITE_P(Review, ReleaseAttackTest, ::testing::ValuesIn(kReleaseAttacks),
                         [](const auto& info) {
                           std::string name;
                           for (const char c : std::string(info.param.name))
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

TEST_F(HostileServerTest, PlantedFileWithAForgedDigestIsNotReused) {
  // An earlier hostile run left "evil.exe" and a settings record for it, and
  // the forged record now names its MD5: without a statement naming its
  // bytes it is not reused; the genuine release is downloaded instead.
  const std::string evil = Swapped(package_);
  const fs::path planted = data_ / "evil.exe";
  std::ofstream(planted, std::ios::binary) << evil;
  {
    InstallerSettings earlier(DataDir() + L"config.ini");
    ASSERT_TRUE(earlier.ValidateAndRecord(WideFromUtf8(Md5Text(evil)),
                                          WideFromUtf8(planted.u8string()), false));
  }
  Attack plain{"plain", "", "1.0.0.1"};
  HostileDownloadServer server(plain, package_);
  InstallerSettings settings(DataDir() + L"config.ini");
  CFixedPackageRecord record({server.Url()}, Md5Text(evil), "1.0.0.1", IPackageRecord::kReady,
                             Genuine());
  DownloaderServices services = Services(&record, &settings);
  services.productVersionOfFile = [](const std::wstring&) { return std::wstring(L"9.9.9.9"); };
  DownloaderPtr d(CreateDownloader(services));
  ASSERT_TRUE(d->Start());
  // The download that follows has the genuine bytes, which do not have the
  // forged digest: refused as well, and nothing is started.
  EXPECT_EQ(PollToEnd(d.get()), IDownloader::kFailed);
  for (const auto& e : logger_.EventsNamed("pSoftDownloadResult")) {
    EXPECT_NE(e.strings.at("soft_download_status"), "存在本地文件");
  }
  EXPECT_FALSE(d->StartCheckedFile([](const std::wstring&) { FAIL() << "started"; }));
  EXPECT_NE(std::wstring(d->GetFilePath()), WideFromUtf8(planted.u8string()));
}

}  // namespace
}  // namespace pelmar
