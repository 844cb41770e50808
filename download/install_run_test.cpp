// The install run against the maker backend on 127.0.0.1, with the real
// download controller and, as its setup program, a shell script the backend
// serves, run as a real child process.
#include "download/install_run.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "base/md5.h"
#include "base/text_convert.h"
#include "download/download_test_support.h"
#include "download/downloader.h"
#include "download/process_setup_runner.h"

namespace pelmar {
namespace {

// The stand-in setup program: notes its arguments, runs as long and ends
// with the code its environment asks for, and notes its end.
constexpr const char kScript[] =
    "#!/bin/sh\n"
    "printf '%s\\n' \"$*\" >> \"$PELMAR_RUN_LOG\"\n"
    "sleep \"${PELMAR_RUN_SLEEP:-0}\"\n"
    "echo ended >> \"$PELMAR_RUN_LOG\"\n"
    "exit \"${PELMAR_RUN_EXIT:-0}\"\n";

// The product's runner with the shell in front: the downloaded script has no
// execute permission, so the shell reads it. Notes each command line.
class ScriptRunner : public ISetupRunner {
 public:
  std::unique_ptr<ISetupProcess> Launch(const std::wstring& commandLine) override {
    launched.push_back(commandLine);
    return real_.Launch(L"/bin/sh " + commandLine);
  }
  std::vector<std::wstring> launched;  // the worker's, read after it ended

 private:
  CProcessSetupRunner real_;
};

// A system that cannot make the process at all.
class RefusingRunner : public ISetupRunner {
 public:
  std::unique_ptr<ISetupProcess> Launch(const std::wstring&) override {
    class NotStarted : public ISetupProcess {
     public:
      bool Started() const override { return false; }
      bool Wait(uint32_t) override { return false; }
      bool ExitCode(uint32_t*) override { return false; }
      void Abandon() override {}
    };
    ++launches;
    return std::make_unique<NotStarted>();
  }
  int launches = 0;
};

bool Terminal(InstallPhase p) { return p == InstallPhase::kFinished || p == InstallPhase::kFailed; }

class InstallRunTest : public testing::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    ASSERT_TRUE(backend_->WritePackage("run.exe", kScript));
    data_dir_ = dir_.Wide() + testing::TempDir::kSeparator;
    log_path_ = Utf8FromWide(dir_.File(L"runs.txt"));
    install_dir_ = dir_.File(L"Morvantile dir");
    setenv("PELMAR_RUN_LOG", log_path_.c_str(), 1);
    SetScript(0, "0");
  }
  void TearDown() override {
    unsetenv("PELMAR_RUN_LOG");
    unsetenv("PELMAR_RUN_EXIT");
    unsetenv("PELMAR_RUN_SLEEP");
    BackendTest::TearDown();
  }
  static void SetScript(int exitCode, const char* seconds) {
    setenv("PELMAR_RUN_EXIT", std::to_string(exitCode).c_str(), 1);
    setenv("PELMAR_RUN_SLEEP", seconds, 1);
  }

  // A record naming the script, signed by the pinned development key
  // (`signedBytes` other than the script: a statement of other bytes).
  void UseRecord(const std::string& signedBytes = kScript) {
    record_ = std::make_unique<CFixedPackageRecord>(
        std::vector<std::string>{backend_->Url("/cdn/run.exe")}, Md5Text(kScript), "1.0.0.1",
        IPackageRecord::kReady,
        testing::SignedReleaseFor(testing::TestMaker::Development(), signedBytes, "1.0.0.1"));
  }

  InstallRunServices Services(ISetupRunner* runner, uint32_t limitMs = kSetupRunLimitMs) {
    InstallRunServices s;
    s.createDownloader = [this] {
      DownloaderServices d;
      d.query.package = record_.get();
      d.query.programPath = L"C:\\Downloads\\Morvantile_setup.exe";
      d.query.builtinUrl = backend_->Url(testing::kBuiltinPath);
      d.query.probeHosts = {"127.0.0.1"};
      d.query.probePort = backend_->Port();
      d.query.headRetryPauseMs = 10;
      d.productDataDirectory = data_dir_;
      d.productVersionOfFile = [](const std::wstring&) { return std::wstring(); };
      d.installedProductPath = [] { return std::wstring(); };
      d.installedProductVersion = [] { return std::wstring(); };
      return CreateDownloader(std::move(d));
    };
    s.setupRunner = runner;
    s.events = &logger_;
    s.setupRunLimitMs = limitMs;
    s.pollPeriodMs = 10;
    return s;
  }

  // Every snapshot seen until the run ends (or `until` holds), bounded.
  template <typename Until>
  std::vector<InstallSnapshot> Watch(const CInstallRun& run, Until until) {
    std::vector<InstallSnapshot> seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
      seen.push_back(run.Snapshot());
      if (Terminal(seen.back().phase) || until(seen.back())) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return seen;
  }
  std::vector<InstallSnapshot> WatchToEnd(const CInstallRun& run) {
    return Watch(run, [](const InstallSnapshot&) { return false; });
  }

  std::vector<std::string> ScriptLog() {
    std::ifstream in(log_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::wstring data_dir_;
  std::string log_path_;
  std::wstring install_dir_;
  std::unique_ptr<CFixedPackageRecord> record_;
};

// The bar only moves forward: 0..80 while downloading, 80..99 while the
// setup program runs, and the phases come in their order.
void ExpectForwardOnly(const std::vector<InstallSnapshot>& seen) {
  for (size_t i = 0; i < seen.size(); ++i) {
    const InstallSnapshot& s = seen[i];
    if (s.phase == InstallPhase::kDownloading) EXPECT_LE(s.percent, kDownloadShareEnd);
    if (s.phase == InstallPhase::kInstalling) {
      EXPECT_GE(s.percent, kDownloadShareEnd);
      EXPECT_LE(s.percent, 99);
    }
    if (i == 0) continue;
    EXPECT_GE(static_cast<int>(s.phase), static_cast<int>(seen[i - 1].phase)) << i;
    EXPECT_GE(s.percent, seen[i - 1].percent) << i;
  }
}

struct PathCase {
  const char* what;
  int exitCode;
  const char* runSeconds;
  uint32_t limitMs;
  bool refuseProcess;
  InstallPhase end;
  InstallFailure failure;
  std::vector<std::string> events;
  const char* errorStatus;  // vSoftInstallError's, or null
};

TEST_F(InstallRunTest, EachWayARunEnds) {
  const std::vector<std::string> setupRan = {"vSoftDownloadStart", "pSoftDownloadResult",
                                             "vSoftInstallStart"};
  std::vector<std::string> setupFailed = setupRan;
  setupFailed.push_back("vSoftInstallError");
  const PathCase cases[] = {
      {"exit code 0 finishes", 0, "0.2", kSetupRunLimitMs, false, InstallPhase::kFinished,
       InstallFailure::kNone, setupRan, nullptr},
      {"exit code 5 is a setup failure", 5, "0", kSetupRunLimitMs, false, InstallPhase::kFailed,
       InstallFailure::kSetup, setupFailed, "5"},
      // No exit code to read: reported as the largest unsigned one.
      {"a program that cannot be made", 0, "0", kSetupRunLimitMs, true, InstallPhase::kFailed,
       InstallFailure::kSetup, setupFailed, "4294967295"},
      {"a program that outlives its time", 0, "3", 300, false, InstallPhase::kFailed,
       InstallFailure::kSetup, setupFailed, "4294967295"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(backend_->Reset());
    logger_.Clear();
    std::remove(log_path_.c_str());
    SetScript(c.exitCode, c.runSeconds);
    UseRecord();
    ScriptRunner script;
    RefusingRunner refusing;
    ISetupRunner* runner = c.refuseProcess ? static_cast<ISetupRunner*>(&refusing) : &script;
    CInstallRun run(Services(runner, c.limitMs));
    EXPECT_EQ(run.Snapshot().phase, InstallPhase::kIdle);
    ASSERT_TRUE(run.Start(install_dir_, /*joinedPlan=*/true));
    const std::vector<InstallSnapshot> seen = WatchToEnd(run);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().phase, c.end);
    EXPECT_EQ(seen.back().failure, c.failure);
    EXPECT_LE(seen.back().percent, 99);  // never 100 on this page
    ExpectForwardOnly(seen);
    EXPECT_EQ(logger_.Names(), c.events);
    const auto errors = logger_.EventsNamed("vSoftInstallError");
    if (c.errorStatus != nullptr) {
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0].strings,
                (std::map<std::string, std::string>{{"error_status", c.errorStatus}}));
    }
    if (c.refuseProcess) {
      EXPECT_EQ(refusing.launches, 1);
      continue;
    }
    run.Stop();  // the worker has ended: nothing here may wait for the program
    ASSERT_EQ(script.launched.size(), 1u);
    const std::wstring program = run.SetupProgramPath();
    EXPECT_EQ(script.launched[0], BuildSetupCommandLine(program, install_dir_, true));
    const std::vector<std::string> log = ScriptLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0],
              "/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=" + Utf8FromWide(install_dir_));
    // A program past its time was left running, not waited for.
    EXPECT_EQ(log.size(), c.limitMs == kSetupRunLimitMs ? 2u : 1u);
  }
}

TEST_F(InstallRunTest, LeavingThePlanAddsItsSwitch) {
  UseRecord();
  ScriptRunner script;
  CInstallRun run(Services(&script));
  ASSERT_TRUE(run.Start(install_dir_, /*joinedPlan=*/false));
  EXPECT_EQ(WatchToEnd(run).back().phase, InstallPhase::kFinished);
  const std::vector<std::string> log = ScriptLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0].rfind("/SILENT /VERYSILENT /SP- /noicons -noexperience -nowelcome /DIR=", 0), 0u)
      << log[0];
}

// A download that fails reports it once per run and runs nothing; a retry
// with the fault gone resumes the same controller and installs.
TEST_F(InstallRunTest, DownloadFailuresThenARetryThatInstalls) {
  UseRecord();
  ASSERT_TRUE(backend_->SetFaults(R"([{"path": "/cdn/", "action": "status", "status": 404},
                                      {"path": "/application/", "action": "status", "status": 404}])"));
  ScriptRunner script;
  int made = 0;
  InstallRunServices services = Services(&script);
  const auto create = services.createDownloader;
  services.createDownloader = [&] {
    ++made;
    return create();
  };
  CInstallRun run(std::move(services));
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    ASSERT_TRUE(run.Start(install_dir_, true));
    const InstallSnapshot end = WatchToEnd(run).back();
    EXPECT_EQ(end.phase, InstallPhase::kFailed);
    EXPECT_EQ(end.failure, InstallFailure::kDownload);
    const auto failed = logger_.EventsNamed("pSoftDownloadResult");
    ASSERT_EQ(failed.size(), static_cast<size_t>(attempt));
    EXPECT_EQ(failed.back().strings.at("soft_download_status"), "下载失败");
    EXPECT_EQ(failed.back().ints.at("download_time"), -1);
    EXPECT_EQ(logger_.Names().back(), "pSoftDownloadResult");
  }
  EXPECT_TRUE(script.launched.empty());
  EXPECT_TRUE(logger_.EventsNamed("vSoftInstallStart").empty());
  // The reminder's address: the one the download used.
  EXPECT_EQ(run.DownloadUrl().rfind("http://127.0.0.1:", 0), 0u) << run.DownloadUrl();

  ASSERT_TRUE(backend_->ClearFaults());
  logger_.Clear();
  ASSERT_TRUE(run.Start(install_dir_, true));
  EXPECT_EQ(WatchToEnd(run).back().phase, InstallPhase::kFinished);
  EXPECT_EQ(made, 1);  // one controller across the retries
  EXPECT_EQ(script.launched.size(), 1u);
  EXPECT_EQ(logger_.Names().back(), "vSoftInstallStart");
}

// A statement of other bytes: refused before a byte is fetched, reported as
// a failed download, and nothing is started.
TEST_F(InstallRunTest, ARefusedReleaseFailsTheDownloadAndStartsNothing) {
  UseRecord("#!/bin/sh\nexit 0\n");
  ScriptRunner script;
  CInstallRun run(Services(&script));
  ASSERT_TRUE(run.Start(install_dir_, true));
  const InstallSnapshot end = WatchToEnd(run).back();
  EXPECT_EQ(end.phase, InstallPhase::kFailed);
  EXPECT_EQ(end.failure, InstallFailure::kDownload);
  EXPECT_TRUE(script.launched.empty());
  EXPECT_EQ(ErrorStatuses(), std::vector<std::string>{"文件大小与发布声明不符"});
  EXPECT_EQ(logger_.Names().back(), "pSoftDownloadResult");
  EXPECT_TRUE(logger_.EventsNamed("vSoftInstallStart").empty());
  EXPECT_EQ(Count("GET", "/cdn/run.exe"), 0);
}

TEST_F(InstallRunTest, AControllerThatCannotStartIsRefusedWithoutAReport) {
  ScriptRunner script;
  InstallRunServices services = Services(&script);
  services.createDownloader = [] { return nullptr; };
  CInstallRun run(std::move(services));
  EXPECT_FALSE(run.Start(install_dir_, true));
  EXPECT_EQ(run.Snapshot().phase, InstallPhase::kIdle);
  EXPECT_TRUE(logger_.Names().empty());
  EXPECT_TRUE(run.WorkersEnded());
  EXPECT_EQ(run.DownloadUrl(), "");
}

// A quit during the download: the worker and the download's threads end
// without waiting on the silent server and without a report.
TEST_F(InstallRunTest, QuitWhileDownloadingEndsEveryThreadWithoutAReport) {
  UseRecord();
  ASSERT_TRUE(backend_->SetFaults(
      R"([{"path": "/cdn/", "method": "GET", "action": "stall", "seconds": 60}])"));
  ScriptRunner script;
  CInstallRun run(Services(&script));
  ASSERT_TRUE(run.Start(install_dir_, true));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (Count("GET", "/cdn/run.exe") < 1 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_GE(Count("GET", "/cdn/run.exe"), 1);
  EXPECT_EQ(run.Snapshot().phase, InstallPhase::kDownloading);
  EXPECT_FALSE(run.WorkersEnded());
  run.RequestQuit();
  bool ended = false;
  while (!(ended = run.WorkersEnded()) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(ended);
  EXPECT_FALSE(Terminal(run.Snapshot().phase));
  EXPECT_TRUE(logger_.EventsNamed("pSoftDownloadResult").empty());
  EXPECT_TRUE(ErrorStatuses().empty());
  EXPECT_TRUE(script.launched.empty());
}

// Stopped during the download, the run is idle and a new start resumes it.
TEST_F(InstallRunTest, StopWhileDownloadingThenStartAgainInstalls) {
  UseRecord();
  ASSERT_TRUE(
      backend_->SetFaults(R"([{"path": "/cdn/", "action": "pace", "bytes_per_second": 40}])"));
  ScriptRunner script;
  CInstallRun run(Services(&script));
  ASSERT_TRUE(run.Start(install_dir_, true));
  (void)Watch(run, [&](const InstallSnapshot&) { return Count("GET", "/cdn/run.exe") > 0; });
  run.Stop();
  EXPECT_EQ(run.Snapshot().phase, InstallPhase::kIdle);
  ASSERT_TRUE(backend_->ClearFaults());
  ASSERT_TRUE(run.Start(install_dir_, true));
  EXPECT_EQ(WatchToEnd(run).back().phase, InstallPhase::kFinished);
  EXPECT_EQ(script.launched.size(), 1u);
  EXPECT_TRUE(logger_.EventsNamed("vSoftInstallError").empty());
}

// Stopped while the setup program runs: the stop waits for the program (an
// installation is never cut) and reports nothing.
TEST_F(InstallRunTest, StopWhileTheSetupProgramRunsWaitsForIt) {
  SetScript(0, "1");
  UseRecord();
  ScriptRunner script;
  CInstallRun run(Services(&script));
  ASSERT_TRUE(run.Start(install_dir_, true));
  const InstallSnapshot at = Watch(run, [](const InstallSnapshot& s) {
                               return s.phase == InstallPhase::kInstalling;
                             }).back();
  ASSERT_EQ(at.phase, InstallPhase::kInstalling);
  run.Stop();
  EXPECT_EQ(ScriptLog(),
            (std::vector<std::string>{
                "/SILENT /VERYSILENT /SP- /noicons -nowelcome /DIR=" + Utf8FromWide(install_dir_),
                "ended"}));
  EXPECT_EQ(run.Snapshot().phase, InstallPhase::kIdle);
  EXPECT_TRUE(logger_.EventsNamed("vSoftInstallError").empty());
  EXPECT_TRUE(run.WorkersEnded());
}

}  // namespace
}  // namespace pelmar
