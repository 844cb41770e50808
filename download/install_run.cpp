#include "download/install_run.h"

#include <chrono>
#include <string>

#include "base/event_sink.h"
#include "download/downloader.h"

namespace pelmar {
namespace {

// A setup program that could not be started, or did not end within its time,
// has no exit code; it is reported with this one.
constexpr uint32_t kNoExitCode = 0xFFFFFFFF;

// The controller's state 2 is no state it reports today; it is read as "not
// finished", as every state below done is.
constexpr int32_t kUnnamedBusyState = 2;

}  // namespace

void CInstallRun::DownloaderDeleter::operator()(IDownloader* d) const {
  if (d) d->Destroy();
}

CInstallRun::CInstallRun(InstallRunServices services) : services_(std::move(services)) {}

CInstallRun::~CInstallRun() {
  Stop();
  download_.reset();
}

bool CInstallRun::Start(const std::wstring& installPath, bool joinedPlan) {
  Stop();
  installPath_ = installPath;
  joinedPlan_ = joinedPlan;
  installing_ = false;
  if (!download_ && services_.createDownloader) download_.reset(services_.createDownloader());
  if (!download_ || !download_->Start()) return false;
  Publish(InstallPhase::kDownloading, DownloadBarPercent(download_->GetProgress()));
  if (!worker_.Start([this](CStopToken& stop) { return Drive(stop); })) {
    Publish(InstallPhase::kIdle, 0);
    return false;
  }
  return true;
}

void CInstallRun::Stop() {
  worker_.RequestStop();
  worker_.Join();
  // Waits for a setup program still running.
  setup_.reset();
  installing_ = false;
  std::lock_guard<std::mutex> lock(snapshot_mutex_);
  if (snapshot_.phase == InstallPhase::kDownloading || snapshot_.phase == InstallPhase::kInstalling)
    snapshot_ = InstallSnapshot{};
}

void CInstallRun::RequestQuit() { worker_.RequestStop(); }

bool CInstallRun::WorkersEnded() {
  if (worker_.Running()) return false;
  if (!download_) return true;
  if (!quitStopSent_) {
    download_->RequestStop();
    quitStopSent_ = true;
  }
  return download_->ThreadsEnded();
}

InstallSnapshot CInstallRun::Snapshot() const {
  std::lock_guard<std::mutex> lock(snapshot_mutex_);
  return snapshot_;
}

std::string CInstallRun::DownloadUrl() { return download_ ? download_->GetUrl() : ""; }

std::wstring CInstallRun::SetupProgramPath() { return download_ ? download_->GetFilePath() : L""; }

// --- the worker ---

uint32_t CInstallRun::Drive(CStopToken& stop) {
  while (!stop.StopRequested()) {
    if (!Step()) return 0;
    if (!stop.WaitFor(services_.pollPeriodMs)) break;
  }
  return 1;
}

bool CInstallRun::Step() { return installing_ ? StepSetup() : StepDownload(); }

bool CInstallRun::StepDownload() {
  switch (download_->Poll()) {
    case IDownloader::kNew:
    case IDownloader::kRunning:
    case kUnnamedBusyState:
      Publish(InstallPhase::kDownloading, DownloadBarPercent(download_->GetProgress()));
      return true;
    case IDownloader::kDestroying:
    case IDownloader::kFailed:
      FailDownload();
      return false;
    case IDownloader::kDone:
      if (!StartSetup()) {
        // The checked file is no longer held as checked: nothing is started,
        // and the download has failed.
        FailDownload();
        return false;
      }
      (void)Events()->Send(Event("vSoftInstallStart"));
      setupStartMs_ = NowMs();
      installing_ = true;
      Publish(InstallPhase::kInstalling, SetupBarPercent(0));
      return true;
    default:
      return true;
  }
}

bool CInstallRun::StartSetup() {
  // The process is created while the download still holds the file it
  // checked, so the program started is the one checked.
  return download_->StartCheckedFile([this](const std::wstring& program) {
    setup_ =
        services_.setupRunner->Launch(BuildSetupCommandLine(program, installPath_, joinedPlan_));
  });
}

bool CInstallRun::StepSetup() {
  if (!setup_->Started()) {
    OnSetupEnded(false, 0);
    return false;
  }
  if (!setup_->Wait(1)) {
    const uint32_t elapsed = NowMs() - setupStartMs_;
    if (SetupRanTooLong(elapsed, services_.setupRunLimitMs)) {
      // Left running: waiting for it would hold the page for ever.
      setup_->Abandon();
      OnSetupEnded(false, 0);
      return false;
    }
    Publish(InstallPhase::kInstalling, SetupBarPercent(elapsed));
    return true;
  }
  uint32_t code = 0;
  const bool read = setup_->ExitCode(&code);
  OnSetupEnded(read, code);
  return false;
}

void CInstallRun::OnSetupEnded(bool exitCodeRead, uint32_t exitCode) {
  const int percent = SetupBarPercent(NowMs() - setupStartMs_);
  setup_.reset();
  installing_ = false;
  if (exitCodeRead && exitCode == 0) {
    Publish(InstallPhase::kFinished, percent);
    return;
  }
  (void)Events()->Send(
      Event("vSoftInstallError")
          .SetString("error_status", std::to_string(exitCodeRead ? exitCode : kNoExitCode)));
  Publish(InstallPhase::kFailed, percent, InstallFailure::kSetup);
}

void CInstallRun::FailDownload() {
  (void)Events()->Send(Event("pSoftDownloadResult")
                           .SetString("soft_download_status", "下载失败")
                           .SetInt("download_time", -1));
  Publish(InstallPhase::kFailed, DownloadBarPercent(download_->GetProgress()),
          InstallFailure::kDownload);
}

void CInstallRun::Publish(InstallPhase phase, int percent, InstallFailure failure) {
  std::lock_guard<std::mutex> lock(snapshot_mutex_);
  snapshot_ = InstallSnapshot{phase, percent, failure};
}

uint32_t CInstallRun::NowMs() const {
  if (services_.clockMs) return services_.clockMs();
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

IEventSink* CInstallRun::Events() const {
  return services_.events ? services_.events : ProcessEventSink();
}

}  // namespace pelmar
